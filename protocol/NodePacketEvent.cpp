#include "NodePacketEvent.h"

#include <QCoreApplication>
#include <QObject>

#include <mutex>

namespace MainWindowLink {
namespace {

std::mutex g_mutex;
QObject* g_mainWindow = nullptr;

class CMainWindowReceiver final : public CNodeReceiver
{
public:
    void OnNodesReceived(ReceivedNodes nodes) override { Post(std::move(nodes)); }
};

} // namespace

void Set(QObject* mainWindow)
{
    std::lock_guard lock(g_mutex);
    g_mainWindow = mainWindow;
}

QObject* Get()
{
    std::lock_guard lock(g_mutex);
    return g_mainWindow;
}

bool Post(ReceivedNodes nodes)
{
    std::lock_guard lock(g_mutex);
    if (g_mainWindow == nullptr) {
        return false;
    }
    QCoreApplication::postEvent(g_mainWindow, new CNodePacketEvent(std::move(nodes)));
    return true;
}

CNodeReceiver& Receiver()
{
    static CMainWindowReceiver receiver;
    return receiver;
}

} // namespace MainWindowLink
