#include "tests/support/UdpTestSocket.h"

#include <QDeadlineTimer>

#include <cerrno>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool ToAddress(const QString& text, quint16 port, sockaddr_in& address)
{
    address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    return inet_pton(AF_INET, text.toLatin1().constData(), &address.sin_addr) == 1;
}

} // namespace

UdpTestSocket::~UdpTestSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool UdpTestSocket::Open(const QString& address, quint16 port, int receiveBufferBytes, bool broadcast)
{
    sockaddr_in local{};
    if (m_fd >= 0 || !ToAddress(address, port, local))
        return false;
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return false;
    if (receiveBufferBytes > 0 &&
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &receiveBufferBytes, sizeof receiveBufferBytes) != 0)
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
    const int on = 1;
    if (broadcast)
        ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    socklen_t length = sizeof local;
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_port = ntohs(local.sin_port);
    return true;
}

bool UdpTestSocket::SendTo(const QByteArray& datagram, const QString& address, quint16 port)
{
    sockaddr_in peer{};
    if (m_fd < 0 || !ToAddress(address, port, peer))
        return false;
    const ssize_t sent = ::sendto(m_fd, datagram.constData(), static_cast<std::size_t>(datagram.size()), 0,
                                  reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    return sent == datagram.size();
}

std::optional<UdpTestSocket::Datagram> UdpTestSocket::Receive(int timeoutMs)
{
    if (m_fd < 0)
        return std::nullopt;
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        pollfd entry{m_fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return std::nullopt;
        static thread_local char buffer[65536];
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const ssize_t received = ::recvfrom(m_fd, buffer, sizeof buffer, MSG_DONTWAIT,
                                            reinterpret_cast<sockaddr*>(&peer), &length);
        if (received < 0)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        return Datagram{QByteArray(buffer, received), QString::fromLatin1(text), ntohs(peer.sin_port)};
    }
}

QList<UdpTestSocket::Datagram> UdpTestSocket::ReceiveUntilQuiet(int quietMs, int maxMs)
{
    QList<Datagram> all;
    const QDeadlineTimer deadline(maxMs);
    while (!deadline.hasExpired()) {
        const auto next = Receive(static_cast<int>(qMin<qint64>(quietMs, deadline.remainingTime())));
        if (!next)
            break;
        all.append(*next);
    }
    return all;
}

std::vector<int> UdpSocketsOn(quint16 port)
{
    std::vector<int> sockets;
    for (int fd = 3; fd < 1024; ++fd) {
        sockaddr_in address{};
        socklen_t length = sizeof address;
        int type = 0;
        socklen_t typeLength = sizeof type;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
            address.sin_family == AF_INET && ntohs(address.sin_port) == port &&
            ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &typeLength) == 0 && type == SOCK_DGRAM)
            sockets.push_back(fd);
    }
    return sockets;
}
