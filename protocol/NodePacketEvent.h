#pragma once

#include "protocol/CNodeReceiver.h"

#include <QEvent>

#include <cstddef>
#include <mutex>

class CWindowReceiver;
class QObject;

// The hand-over of received packets from the receive thread to the main window: a posted event
// that owns a batch of records, in arrival order. Whoever handles the event takes the records; an
// event that is never handled (its receiver went away first) deletes them with itself.
inline const QEvent::Type WM_NODE_PACKET = static_cast<QEvent::Type>(QEvent::User + 1);

class CNodePacketEvent final : public QEvent
{
  public:
    // What an event that keeps being joined holds at most.
    static constexpr std::size_t kMaxJoined = kMaxHeldRecords;

    explicit CNodePacketEvent(ReceivedNodes nodes) : QEvent(WM_NODE_PACKET), m_nodes(std::move(nodes)) {}
    ~CNodePacketEvent() override;

    // How many records it carries. Once counted or taken, it takes no more.
    std::size_t Count();
    ReceivedNodes TakeNodes();

  private:
    friend class CWindowReceiver;

    void Join(ReceivedNodes nodes);
    void Seal();

    ReceivedNodes m_nodes;
    std::size_t m_dropped = 0;
    // The receiver that may still join records to it: set only while it is that receiver's open
    // event.
    CWindowReceiver* m_origin = nullptr;
};

// A window's receiver of CNodeProtocol: posts every batch to the window as a WM_NODE_PACKET event.
// While the last event posted has not been looked at yet, later batches join that one, so a window
// that falls behind gets fewer, larger batches; records that find it holding kMaxJoined are
// dropped, and counted in a trace line once it is looked at.
//
// The window owns it and outlives it; the engine that calls it is closed before it goes away. An
// event still pending then stays with the window and is deleted with it. Constructed and destroyed
// on the window's thread; OnNodesReceived from any thread.
class CWindowReceiver final : public CNodeReceiver
{
  public:
    explicit CWindowReceiver(QObject* window) : m_window(window) {}
    ~CWindowReceiver() override;
    CWindowReceiver(const CWindowReceiver&) = delete;
    CWindowReceiver& operator=(const CWindowReceiver&) = delete;

    void OnNodesReceived(ReceivedNodes nodes) override;

  private:
    friend class CNodePacketEvent;

    QObject* const m_window;
    // Recursive, since posting may delete the event at once (a window on its way out).
    std::recursive_mutex m_mutex;
    CNodePacketEvent* m_open = nullptr; // posted, not looked at yet
};
