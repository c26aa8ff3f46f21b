#pragma once

#include "protocol/CNodeReceiver.h"

#include <QEvent>

#include <cstddef>

class QObject;

// The hand-over of received packets from the receive thread to the main window: a posted event
// that owns a batch of records, in arrival order. Whoever handles the event takes the records; an
// event that is never handled (its receiver went away first) deletes them with itself.
inline const QEvent::Type WM_NODE_PACKET = static_cast<QEvent::Type>(QEvent::User + 1);

class CNodePacketEvent final : public QEvent
{
  public:
    // What an event that keeps being joined holds at most: far above the replies of the largest
    // search, and a bound on a flood while the receiver does not look.
    static constexpr std::size_t kMaxJoined = 65536;

    explicit CNodePacketEvent(ReceivedNodes nodes) : QEvent(WM_NODE_PACKET), m_nodes(std::move(nodes)) {}
    ~CNodePacketEvent() override;

    // Posts the records to receiver (any thread). While the last event posted to it has not been
    // looked at yet, they join that one: a receiver that falls behind gets fewer, larger batches.
    // Records that find it holding kMaxJoined are dropped, and counted in a trace line once it is
    // looked at.
    static void Post(QObject* receiver, ReceivedNodes nodes);

    // How many records it carries. Once counted or taken, it takes no more.
    std::size_t Count();
    ReceivedNodes TakeNodes();

  private:
    void Join(ReceivedNodes nodes);
    void Seal();

    ReceivedNodes m_nodes;
    std::size_t m_dropped = 0;
};

// The application's current main window, as the receive thread sees it. The main window registers
// itself once it exists and unregisters before it goes away; posting holds the same lock, so a
// record is never posted to a window that is being destroyed.
namespace MainWindowLink {

void Set(QObject* mainWindow);
QObject* Get();

// Posts the batch to the current main window as one WM_NODE_PACKET event. Returns false (and
// deletes the records) when there is none.
bool Post(ReceivedNodes nodes);

// The product's receiver of CNodeProtocol: Post() for every batch.
CNodeReceiver& Receiver();

} // namespace MainWindowLink
