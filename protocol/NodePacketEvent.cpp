#include "NodePacketEvent.h"

#include <QCoreApplication>
#include <QObject>

#include <mutex>

namespace MainWindowLink {
namespace {

std::mutex g_mutex;
QObject* g_mainWindow = nullptr;

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

bool PostRecord(std::unique_ptr<NodeInfo> record)
{
    std::lock_guard lock(g_mutex);
    if (g_mainWindow == nullptr) {
        return false;
    }
    QCoreApplication::postEvent(g_mainWindow, new CNodePacketEvent(std::move(record)));
    return true;
}

} // namespace MainWindowLink
