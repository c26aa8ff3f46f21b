#pragma once

#include "NodeInfo.h"

#include <cstdint>
#include <thread>

// An IPv4 address and UDP port, both in host order.
struct UdpEndpoint
{
    uint32_t address;
    uint16_t port;
};

// The tool's end of the node protocol: one UDP socket for sending requests and one receive thread
// that hands every 36-byte datagram to the application's main window (see MainWindowLink) as a
// posted WM_NODE_PACKET event that owns a heap NodeInfo.
//
// Threads: construct, send and destroy on the main window's thread. The receive thread touches
// nothing of this object but the socket; Close() wakes it, waits for it to end, and only then
// closes the socket, so nothing is posted after Close() returns.
class CNodeProtocol
{
public:
    static constexpr UdpEndpoint kLocalEndpoint{0x00000000u, 22223};       // 0.0.0.0:22223
    static constexpr UdpEndpoint kRequestDestination{0xffffffffu, 22222}; // 255.255.255.255:22222

    // Opens the socket and starts the receive thread. A failure to open is not reported here:
    // requests then fail to send, or no reply arrives.
    explicit CNodeProtocol(UdpEndpoint local = kLocalEndpoint, UdpEndpoint destination = kRequestDestination);
    virtual ~CNodeProtocol();
    CNodeProtocol(const CNodeProtocol&) = delete;
    CNodeProtocol& operator=(const CNodeProtocol&) = delete;

    int Open();
    void Close();

    int SendPacket(const NodeInfo& packet);
    uint32_t SendSearchRequest();
    uint32_t SendAddressRequest(const NetworkSettings& settings, const uint8_t* macAddress);

    // A fresh transaction id (1 to 32767), drawn anew from the time in whole seconds.
    static uint32_t NewTransactionId();
    // The id that a seed of the 15-bit generator yields: the first nonzero draw.
    static uint32_t TransactionIdFromSeed(uint32_t seed);

    // The socket's local port (host order), 0 when there is no socket or it has no port yet.
    uint16_t BoundPort() const;

private:
    static int ReceiveThread(int socket, int wakeFd);

    UdpEndpoint m_local;
    UdpEndpoint m_destination;
    int m_socket = -1;
    int m_wakeFd = -1;
    std::thread m_receiveThread;
};
