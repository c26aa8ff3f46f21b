// The I/O settings command of the node list window: button 1004.
#include "app/CNodeListDlg.h"

#include "snmpconfig/CGpioConfigDlg.h"

void CNodeListDlg::OnGpioSetting()
{
    // Works without a selected row too: the dialog then opens for no node.
    CGpioConfigDlg dialog(SelectedNodeAddress(), SnmpAccess());
    (void)dialog.DoModal();
}
