#include "app/CNodeToolApp.h"

#include "app/CNodeListDlg.h"
#include "snmpconfig/CSnmpAccess.h"
#include "snmpconfig/SnmpDialogSupport.h"

#include <memory>

bool CNodeToolApp::InitInstance()
{
    // Sockets need no library start-up here, so there is nothing that could fail before the window.
    // The one SNMP access of the run: its template keeps the longer timeout from the first SET on.
    CSnmpAccess snmp;
    InstallSnmpWaitHook(snmp);
    auto mainWindow = std::make_unique<CNodeListDlg>(snmp);

    mainWindow->DoModal();

    // The window closes its engine first thing in its destructor.
    mainWindow.reset();
    return false;
}
