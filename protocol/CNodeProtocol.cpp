#include "CNodeProtocol.h"

#include "NodePacketEvent.h"
#include "Trace.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <memory>

namespace {

constexpr int kReceiveBufferSize = NodeInfo::kPacketSize + 1;
// Large enough for the replies of thousands of boards that answer one search at once.
constexpr int kSocketReceiveBuffer = 8 * 1024 * 1024;

sockaddr_in ToSockaddr(UdpEndpoint endpoint)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    address.sin_addr.s_addr = htonl(endpoint.address);
    return address;
}

int SetIntOption(int socket, int option, int value)
{
    return setsockopt(socket, SOL_SOCKET, option, &value, sizeof value);
}

// Waits until a datagram can be read (true) or the owner asks the thread to end (false).
bool WaitForDatagram(int socket, int wakeFd)
{
    pollfd fds[2] = {{socket, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (fds[1].revents != 0) {
            return false;
        }
        if (fds[0].revents != 0) {
            return true;
        }
    }
}

} // namespace

CNodeProtocol::CNodeProtocol(UdpEndpoint local, UdpEndpoint destination) : m_local(local), m_destination(destination)
{
    // A socket that could not be opened delivers nothing: its thread ends at once, as after a
    // failed receive.
    const bool opened = Open() != 0;
    m_wakeFd = eventfd(0, EFD_CLOEXEC);
    m_receiveThread = std::thread(&CNodeProtocol::ReceiveThread, opened ? m_socket : -1, m_wakeFd);
}

CNodeProtocol::~CNodeProtocol()
{
    Close();
}

int CNodeProtocol::Open()
{
    const sockaddr_in local = ToSockaddr(m_local);

    m_socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (m_socket < 0) {
        LF_TRACE("Can't create dhcp socket: \n");
        return 0;
    }
    if (SetIntOption(m_socket, SO_REUSEADDR, 1) < 0) {
        LF_TRACE("Can't set SO_REUSEADDR option on dhcp socket: \n");
        return 0;
    }
    if (SetIntOption(m_socket, SO_BROADCAST, 1) < 0) {
        LF_TRACE("Can't set SO_BROADCAST option on dhcp socket: \n");
        return 0;
    }
    // Best effort. Without CAP_NET_ADMIN the kernel caps SO_RCVBUF at net.core.rmem_max (208 KiB
    // by default, about 500 replies), and a burst beyond what the buffer holds is dropped whenever
    // the receive thread is not scheduled in time.
    if (SetIntOption(m_socket, SO_RCVBUFFORCE, kSocketReceiveBuffer) < 0) {
        SetIntOption(m_socket, SO_RCVBUF, kSocketReceiveBuffer);
    }
    if (bind(m_socket, reinterpret_cast<const sockaddr*>(&local), sizeof local) < 0) {
        LF_TRACE("Can't bind to dhcp address: \n");
        return 0;
    }
    return 1;
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
    if (m_socket >= 0) {
        close(m_socket);
        m_socket = -1;
    }
    if (m_wakeFd >= 0) {
        close(m_wakeFd);
        m_wakeFd = -1;
    }
}

int CNodeProtocol::SendPacket(const NodeInfo& packet)
{
    const sockaddr_in destination = ToSockaddr(m_destination);
    auto buffer = std::make_unique<uint8_t[]>(NodeInfo::kPacketSize);
    packet.Pack(buffer.get());

    const ssize_t sent = sendto(m_socket, buffer.get(), NodeInfo::kPacketSize, 0,
                                reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    LF_TRACE("send packet, result : %d\n", static_cast<int>(sent));
    if (sent < 0) {
        LF_TRACE("sendto() failed\n");
        return 0;
    }
    return 1;
}

uint32_t CNodeProtocol::SendSearchRequest()
{
    NodeInfo request;
    request.SetOpCode(htonl(OP_SEARCH_REQUEST));
    request.SetTransactionId(NewTransactionId());
    return SendPacket(request) ? request.GetTransactionId() : 0;
}

uint32_t CNodeProtocol::SendAddressRequest(const NetworkSettings& settings, const uint8_t* macAddress)
{
    NodeInfo request;
    request.SetOpCode(htonl(OP_SET_ADDRESS_REQUEST));
    request.SetTransactionId(NewTransactionId());
    request.SetMacAddress(macAddress);
    request.SetSettings(settings);
    return SendPacket(request) ? request.GetTransactionId() : 0;
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

int CNodeProtocol::ReceiveThread(int socket, int wakeFd)
{
    LF_TRACE("Receive Thread Starting!!\n");
    auto buffer = std::make_unique<uint8_t[]>(kReceiveBufferSize);

    for (;;) {
        if (socket < 0 || wakeFd < 0) {
            LF_TRACE("recvfrom() failed, err : %d\n", EBADF);
            break;
        }
        if (!WaitForDatagram(socket, wakeFd)) {
            break;
        }
        sockaddr_in sender{};
        socklen_t senderLength = sizeof sender;
        const ssize_t length = recvfrom(socket, buffer.get(), kReceiveBufferSize, MSG_DONTWAIT,
                                        reinterpret_cast<sockaddr*>(&sender), &senderLength);
        if (length < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                continue;
            }
            LF_TRACE("recvfrom() failed, err : %d\n", errno);
            break;
        }
        if (length != NodeInfo::kPacketSize) {
            LF_TRACE("invalid packet received\n");
            continue;
        }
        LF_TRACE("Get new packet!!\n");
        auto record = std::make_unique<NodeInfo>();
        record->Unpack(buffer.get());
        MainWindowLink::PostRecord(std::move(record));
    }
    return 0;
}
