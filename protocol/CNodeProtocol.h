#pragma once

#include "protocol/CNodeReceiver.h"
#include "protocol/NodeInfo.h"

#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

class CReceiveLoop;

// An IPv4 address and UDP port, both in host order.
struct UdpEndpoint
{
    uint32_t address;
    uint16_t port;
};

// The tool's end of the node protocol: the UDP socket requests leave from, and one receive thread
// that hands every 36-byte datagram arriving on its port to the receiver it was given
// (CNodeReceiver.h): in the application the main window's CWindowReceiver, which posts
// WM_NODE_PACKET events that own the records.
//
// A request to the limited broadcast address goes out once on every interface that has IPv4
// broadcast (loopback aside), so that boards on any of the machine's networks hear it.
//
// Where the receive buffer that the kernel grants is small (an unprivileged process on a stock
// kernel), replies are spread over several sockets of one SO_REUSEPORT group on the same port, so
// that a burst of thousands of replies finds room, whether the boards answer this host or by
// broadcast; the receive thread puts them back into their order of arrival. A socket that keeps
// failing leaves the group and the others take over its replies. A port that another program (a
// second instance, say) already holds is shared as before, with one socket that stays out of that
// program's group.
//
// Threads: construct, send and destroy on one thread (the main window's). The receive thread
// touches nothing of this object but the sockets and its CReceiveLoop; Close() wakes it, waits for
// it to end, and only then closes the sockets, so nothing is delivered after Close() returns.
class CNodeProtocol
{
  public:
    static constexpr UdpEndpoint kLocalEndpoint{0x00000000u, 22223};      // 0.0.0.0:22223
    static constexpr UdpEndpoint kRequestDestination{0xffffffffu, 22222}; // 255.255.255.255:22222
    static constexpr int kSocketsAsNeeded = 0;
    // How long replies are waited for: to a search, and to a set-address request.
    static constexpr uint32_t kSearchWaitMs = 1000;
    static constexpr uint32_t kSetAddressWaitMs = 15000;

    // Opens the sockets and starts the receive thread, which hands its records to receiver; the
    // receiver must outlive Close(). receiveSockets: how many sockets receive, kSocketsAsNeeded
    // for as many as the granted receive buffers call for (one where the kernel grants a large
    // buffer). A failure to open is not reported here: requests then fail to send, or no reply
    // arrives.
    CNodeProtocol(UdpEndpoint local, UdpEndpoint destination, CNodeReceiver& receiver,
                  int receiveSockets = kSocketsAsNeeded);
    virtual ~CNodeProtocol();
    CNodeProtocol(const CNodeProtocol&) = delete;
    CNodeProtocol& operator=(const CNodeProtocol&) = delete;

    void Close();

    // 1 when the request went out (on at least one interface), 0 when it went out nowhere.
    // onlyInterface: the index of the one interface a limited broadcast goes out on; 0 for every one.
    int SendPacket(const NodeInfo& packet, unsigned onlyInterface = 0);
    uint32_t SendSearchRequest();
    // A set-address request concerns one board: given the interface its search reply came in on, it
    // goes out there only, so that the new settings do not travel over every other network.
    uint32_t SendAddressRequest(const NetworkSettings& settings, const uint8_t* macAddress,
                                unsigned interfaceIndex = 0);

    // A fresh transaction id (1 to 32767), drawn anew from the time in whole seconds.
    static uint32_t NewTransactionId();
    // The id that a seed of the 15-bit generator yields: the first nonzero draw.
    static uint32_t TransactionIdFromSeed(uint32_t seed);

    // The socket's local port (host order), 0 when there is no socket or it has no port yet.
    uint16_t BoundPort() const;
    // How many sockets receive replies: 0 when none could be opened, or none is left of those that
    // failed while receiving.
    int ReceiveSocketCount() const;
    // Another program held the port already when this engine opened: the kernel then hands each
    // reply to one of them, so replies may reach the other program instead of this one.
    bool PortShared() const { return m_portShared; }

  private:
    // Run once, by the constructor: 1 when the sockets are created, configured and bound.
    int Open();
    int SocketsFor(int grantedBuffer, bool portFree) const;
    int SendOn(const uint8_t* wire, unsigned interfaceIndex);

    UdpEndpoint m_local;
    UdpEndpoint m_destination;
    CNodeReceiver& m_receiver;
    int m_wantedSockets;
    int m_socket = -1;
    // m_socket first, then the others of its SO_REUSEPORT group.
    std::vector<int> m_receiveSockets;
    int m_wakeFd = -1;
    bool m_portShared = false;
    std::unique_ptr<CReceiveLoop> m_loop; // runs on m_receiveThread
    std::thread m_receiveThread;
};
