#include "protocol/CNodeProtocol.h"

#include "protocol/CReceiveLoop.h"
#include "protocol/NetworkInterfaces.h"
#include "protocol/ReplySockets.h"
#include "protocol/Trace.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>

namespace {

// Room for the replies of thousands of boards that answer one search at once: what the kernel
// grants where it may (it doubles the buffer asked for), in one socket or added up over a group.
constexpr int kWantedReceiveRoom = 2 * ReplySockets::kWantedBuffer;
constexpr int kMaxReceiveSockets = 64;

sockaddr_in ToSockaddr(UdpEndpoint endpoint)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    address.sin_addr.s_addr = htonl(endpoint.address);
    return address;
}

} // namespace

CNodeProtocol::CNodeProtocol(UdpEndpoint local, UdpEndpoint destination, CNodeReceiver& receiver,
                             int receiveSockets)
    : m_local(local), m_destination(destination), m_receiver(receiver), m_wantedSockets(receiveSockets)
{
    // Sockets that could not be opened deliver nothing: the thread ends at once.
    const bool opened = Open() != 0;
    m_loop = std::make_unique<CReceiveLoop>(opened ? m_receiveSockets : std::vector<int>{-1}, m_wakeFd,
                                            m_receiver);
    m_receiveThread = std::thread([loop = m_loop.get()] { loop->Run(); });
}

CNodeProtocol::~CNodeProtocol()
{
    Close();
}

int CNodeProtocol::Open()
{
    // Without its wake-up event the receive thread could never be stopped: then no socket either,
    // so that every request reports that it could not be sent.
    m_wakeFd = eventfd(0, EFD_CLOEXEC);
    if (m_wakeFd < 0) {
        LF_TRACE("Can't create wake-up event for receive thread: \n");
        return 0;
    }
    const sockaddr_in local = ToSockaddr(m_local);
    // Looked at before this engine binds, so that it finds the port taken only by others.
    const bool portFree = m_local.port == 0 || ReplySockets::PortIsFree(local);
    m_portShared = !portFree;

    m_socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (m_socket < 0) {
        LF_TRACE("Can't create dhcp socket: \n");
        return 0;
    }
    if (ReplySockets::SetIntOption(m_socket, SO_REUSEADDR, 1) < 0) {
        LF_TRACE("Can't set SO_REUSEADDR option on dhcp socket: \n");
        return 0;
    }
    if (ReplySockets::SetIntOption(m_socket, SO_BROADCAST, 1) < 0) {
        LF_TRACE("Can't set SO_BROADCAST option on dhcp socket: \n");
        return 0;
    }
    int sockets = SocketsFor(ReplySockets::SetReceiveBuffer(m_socket), portFree);
    if (sockets > 1 && ReplySockets::SetIntOption(m_socket, SO_REUSEPORT, 1) < 0) {
        sockets = 1;
    }
    ReplySockets::AskForReceiveDetails(m_socket, sockets > 1);
    if (bind(m_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) < 0) {
        LF_TRACE("Can't bind to dhcp address: \n");
        return 0;
    }
    m_receiveSockets = sockets > 1 ? ReplySockets::FormGroup(m_socket, sockets) : std::vector<int>{m_socket};
    if (m_receiveSockets.size() > 1) {
        // The receive thread orders the replies of the sockets by these timestamps.
        ReplySockets::WaitForReceiveTimestamps();
    }
    return 1;
}

// A second instance of the tool (or any other program on the port) keeps what it has: joining its
// group would hand this engine's replies to its sockets and its replies to ours.
int CNodeProtocol::SocketsFor(int grantedBuffer, bool portFree) const
{
    if (!portFree) {
        return 1;
    }
    if (m_wantedSockets != kSocketsAsNeeded) {
        return std::clamp(m_wantedSockets, 1, kMaxReceiveSockets);
    }
    if (grantedBuffer <= 0) {
        return 1;
    }
    return std::clamp((kWantedReceiveRoom + grantedBuffer - 1) / grantedBuffer, 1, kMaxReceiveSockets);
}

void CNodeProtocol::Close()
{
    if (m_receiveThread.joinable()) {
        if (m_wakeFd >= 0) {
            const uint64_t one = 1;
            [[maybe_unused]] ssize_t written = write(m_wakeFd, &one, sizeof one);
        }
        m_receiveThread.join();
    }
    // Sockets that kept failing the thread has closed already.
    const std::vector<int> closedByLoop = m_loop ? m_loop->ClosedSockets() : std::vector<int>{};
    m_loop.reset();
    for (const int fd : m_receiveSockets) {
        if (fd != m_socket && std::find(closedByLoop.begin(), closedByLoop.end(), fd) == closedByLoop.end()) {
            close(fd);
        }
    }
    m_receiveSockets.clear();
    if (m_socket >= 0) {
        close(m_socket);
        m_socket = -1;
    }
    if (m_wakeFd >= 0) {
        close(m_wakeFd);
        m_wakeFd = -1;
    }
}

int CNodeProtocol::SendPacket(const NodeInfo& packet, unsigned onlyInterface)
{
    auto buffer = std::make_unique<uint8_t[]>(NodeInfo::kPacketSize);
    packet.Pack(buffer.get());

    // The limited broadcast leaves by one interface only, the one the routing table picks; the
    // boards may be on any of them.
    std::vector<unsigned> interfaces;
    if (m_destination.address == kRequestDestination.address) {
        interfaces = onlyInterface != 0 ? std::vector<unsigned>{onlyInterface}
                                        : NetworkInterfaces::WithIpv4Broadcast();
    }
    int sent = interfaces.empty() ? SendOn(buffer.get(), 0) : 0;
    for (const unsigned index : interfaces) {
        sent |= SendOn(buffer.get(), index);
    }
    if (sent == 0) {
        LF_TRACE("sendto() failed\n");
        return 0;
    }
    return 1;
}

// Sends the request's bytes to the destination, out of the given interface (0: as routed).
int CNodeProtocol::SendOn(const uint8_t* wire, unsigned interfaceIndex)
{
    const sockaddr_in destination = ToSockaddr(m_destination);
    ssize_t sent = 0;
    if (interfaceIndex == 0) {
        sent = sendto(m_socket, wire, NodeInfo::kPacketSize, 0,
                      reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    } else {
        iovec vector{const_cast<uint8_t*>(wire), NodeInfo::kPacketSize};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
        msghdr message{};
        message.msg_name = const_cast<sockaddr_in*>(&destination);
        message.msg_namelen = sizeof destination;
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = static_cast<int>(interfaceIndex);
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
        sent = sendmsg(m_socket, &message, 0);
    }
    LF_TRACE("send packet, result : %d\n", static_cast<int>(sent));
    return sent < 0 ? 0 : 1;
}

uint32_t CNodeProtocol::SendSearchRequest()
{
    NodeInfo request;
    request.SetOpCode(htonl(OP_SEARCH_REQUEST));
    request.SetTransactionId(NewTransactionId());
    return SendPacket(request) ? request.GetTransactionId() : 0;
}

uint32_t CNodeProtocol::SendAddressRequest(const NetworkSettings& settings, const uint8_t* macAddress,
                                           unsigned interfaceIndex)
{
    NodeInfo request;
    request.SetOpCode(htonl(OP_SET_ADDRESS_REQUEST));
    request.SetTransactionId(NewTransactionId());
    request.SetMacAddress(macAddress);
    request.SetSettings(settings);
    return SendPacket(request, interfaceIndex) ? request.GetTransactionId() : 0;
}

uint32_t CNodeProtocol::TransactionIdFromSeed(uint32_t seed)
{
    uint32_t state = seed;
    uint32_t value = 0;
    while (value == 0) {
        state = state * 214013u + 2531011u;
        value = (state >> 16) & 0x7fffu;
    }
    return value;
}

uint32_t CNodeProtocol::NewTransactionId()
{
    return TransactionIdFromSeed(static_cast<uint32_t>(std::time(nullptr)));
}

uint16_t CNodeProtocol::BoundPort() const
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (m_socket < 0 || getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) < 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

int CNodeProtocol::ReceiveSocketCount() const
{
    return m_loop ? m_loop->ReadingCount() : 0;
}
