// The IP settings command of the node list window: button 1016 and a double click on a row.
#include "app/CNodeListDlg.h"

#include "ipconfig/CIpConfigDlg.h"
#include "app/CWaitReplyDlg.h"
#include "resources/MessageBox.h"
#include "resources/ResourceIds.h"

void CNodeListDlg::OnIpSetting()
{
    const NodeInfo* selected = SelectedNode();
    if (selected == nullptr) {
        MessageBox::Show(this, IDS_SELECT_NODE);
        return;
    }
    // A copy: a successful reply replaces the row, and its record with it, while the wait runs.
    const NodeInfo node = *selected;
    const unsigned interfaceIndex = SelectedNodeInterface();

    CIpConfigDlg dialog;
    dialog.SetNetworkSettings(node.GetSettings());
    if (dialog.DoModal() != IDOK) {
        return;
    }

    // Out of the interface the node answered on only: the new settings concern that network alone.
    const quint32 transactionId =
        Protocol().SendAddressRequest(dialog.GetNetworkSettings(), node.GetMacAddress(), interfaceIndex);
    SetOutstandingTransactionId(transactionId);
    if (transactionId == 0) {
        MessageBox::Show(this, IDS_SEND_FAILED);
        return;
    }

    switch (RunWaitDialog(CNodeProtocol::kSetAddressWaitMs)) {
    case WAIT_RESULT_TIMEOUT:
        MessageBox::Show(this, IDS_NO_REPLY);
        break;
    case WAIT_RESULT_FAILED:
        MessageBox::Show(this, IDS_NETWORK_CHANGE_FAILED);
        break;
    case WAIT_RESULT_SUCCEEDED:
        MessageBox::Show(this, IDS_NETWORK_CHANGED);
        break;
    default:
        break;
    }
}

bool CNodeListDlg::OnNodeListDblClk()
{
    if (SelectedRow() < 0) {
        return false;
    }
    OnIpSetting();
    return true;
}
