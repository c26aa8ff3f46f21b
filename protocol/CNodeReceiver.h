#pragma once

#include "protocol/NodeInfo.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

// One received packet, the network interface it came in on and who sent it. These are kept beside
// the record, not in it: the record is the packet.
struct ReceivedNode
{
    std::unique_ptr<NodeInfo> record;
    unsigned interfaceIndex = 0; // 0 when not known
    std::string interfaceName;   // empty when not known
    uint32_t sourceAddress = 0;  // IPv4, host order; 0 when not known
};

using ReceivedNodes = std::vector<ReceivedNode>;

// What the receive thread of CNodeProtocol hands its records to: in the product the main window's
// CWindowReceiver (NodePacketEvent.h), in a program without windows a queue (CNodeQueue), in tests
// a fake.
//
// Called on the receive thread only, one batch at a time; the records within a batch and the
// batches one after the other are in the order in which the datagrams arrived. The records belong
// to the receiver from then on. Nothing is read from the sockets while it runs, so it must return
// soon. Never called once CNodeProtocol::Close() has returned.
class CNodeReceiver
{
  public:
    virtual ~CNodeReceiver() = default;

    virtual void OnNodesReceived(ReceivedNodes nodes) = 0;
};

// The trace line of a receiver that had no room for count records (none when count is 0).
void ReportDroppedRecords(std::size_t count);

// What a receiver that holds records for a reader keeps at most: far above the replies of the
// largest search (10,000 boards and more, each answering more than once), and a bound on a flood
// while the reader does not look.
inline constexpr std::size_t kMaxHeldRecords = 65536;

// Appends to held as many of nodes, in their order, as fit below capacity; returns how many did not.
template <typename Held> std::size_t AppendUpTo(Held& held, ReceivedNodes& nodes, std::size_t capacity)
{
    const std::size_t kept = std::min(nodes.size(), capacity - std::min(capacity, held.size()));
    held.insert(held.end(), std::make_move_iterator(nodes.begin()),
                std::make_move_iterator(nodes.begin() + static_cast<std::ptrdiff_t>(kept)));
    return nodes.size() - kept;
}
