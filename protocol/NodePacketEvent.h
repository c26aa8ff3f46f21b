#pragma once

#include "NodeInfo.h"

#include <QEvent>

#include <memory>

class QObject;

// The hand-over of one received packet from the receive thread to the main window: a posted event
// that owns its record. Whoever handles the event takes the record; an event that is never handled
// (its receiver went away first) deletes the record with itself.
inline const QEvent::Type WM_NODE_PACKET = static_cast<QEvent::Type>(QEvent::User + 1);

class CNodePacketEvent final : public QEvent
{
public:
    explicit CNodePacketEvent(std::unique_ptr<NodeInfo> record)
        : QEvent(WM_NODE_PACKET), m_record(std::move(record))
    {
    }

    std::unique_ptr<NodeInfo> TakeRecord() { return std::move(m_record); }

private:
    std::unique_ptr<NodeInfo> m_record;
};

// The application's current main window, as the receive thread sees it. The main window registers
// itself once it exists and unregisters before it goes away; posting holds the same lock, so a
// record is never posted to a window that is being destroyed.
namespace MainWindowLink {

void Set(QObject* mainWindow);
QObject* Get();

// Posts the record to the current main window. Returns false (and deletes the record) when there
// is none.
bool PostRecord(std::unique_ptr<NodeInfo> record);

} // namespace MainWindowLink
