// The serial settings command of the node list window: button 1003.
#include "app/CNodeListDlg.h"

#include "snmpconfig/CSerialConfigDlg.h"

void CNodeListDlg::OnSerialSetting()
{
    // Works without a selected row too: the dialog then opens for no node.
    CSerialConfigDlg dialog(SelectedNodeAddress(), SnmpAccess());
    (void)dialog.DoModal();
}
