#include "app/CNodeToolApp.h"

#include "app/CNodeListDlg.h"
#include "protocol/NodePacketEvent.h"
#include "snmpconfig/SnmpDialogSupport.h"

#include <memory>

bool CNodeToolApp::InitInstance()
{
    // Sockets need no library start-up here, so there is nothing that could fail before the window.
    InstallSnmpWaitHook();
    auto mainWindow = std::make_unique<CNodeListDlg>();
    MainWindowLink::Set(mainWindow.get());

    mainWindow->DoModal();

    // The window unregisters and closes its engine first thing in its destructor.
    mainWindow.reset();
    return false;
}
