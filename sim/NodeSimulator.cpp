#include "sim/NodeSimulator.h"

#include "sim/SimLog.h"
#include "sim/SimText.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kSocketBufferBytes = 8 * 1024 * 1024;
// Bounds one OnReadable() so that a flood cannot starve delayed replies.
constexpr int kMaxDatagramsPerWakeup = 512;
// A flood of searches to many delayed boards must not grow memory without bound.
constexpr std::size_t kMaxPendingReplies = 500000;

bool IsLocalAddress(uint32_t hostOrder)
{
    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (probe < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(hostOrder);
    const bool local = ::bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return local;
}

QString PeerText(const sockaddr_in& peer)
{
    return QStringLiteral("%1:%2")
        .arg(SimText::Ipv4Text(ntohl(peer.sin_addr.s_addr)))
        .arg(ntohs(peer.sin_port));
}

// One log entry, built without a JSON library: thousands of these go out per search. Values are
// addresses, hex and strerror() texts, which never need escaping.
class LogFields
{
  public:
    LogFields(const char* direction, const sockaddr_in& peer, std::size_t length)
    {
        Text("proto", "node");
        Text("dir", direction);
        char text[32];
        const uint32_t address = ntohl(peer.sin_addr.s_addr);
        std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", address >> 24, (address >> 16) & 0xff,
                      (address >> 8) & 0xff, address & 0xff, ntohs(peer.sin_port));
        Text("peer", text);
        Number("len", length);
    }

    void Packet(const SimPacket& packet)
    {
        Number("op", packet.op);
        Hex("tid", packet.transactionId.data());
        Mac("mac", packet.mac);
        Hex("dhcp", packet.dhcp.data());
        Address("ip", packet.ip);
        Address("mask", packet.mask);
        Address("gateway", packet.gateway);
        Number("result", packet.result);
    }

    void Text(const char* key, const char* value)
    {
        if (!m_text.empty())
            m_text += ',';
        m_text += '"';
        m_text += key;
        m_text += "\":\"";
        m_text += value;
        m_text += '"';
    }
    void Number(const char* key, unsigned long long value)
    {
        if (!m_text.empty())
            m_text += ',';
        m_text += '"';
        m_text += key;
        m_text += "\":";
        m_text += std::to_string(value);
    }
    void Address(const char* key, uint32_t hostOrder)
    {
        char text[16];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", hostOrder >> 24, (hostOrder >> 16) & 0xff,
                      (hostOrder >> 8) & 0xff, hostOrder & 0xff);
        Text(key, text);
    }
    void Mac(const char* key, const std::array<uint8_t, 6>& mac)
    {
        char text[18];
        std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                      mac[4], mac[5]);
        Text(key, text);
    }
    void Hex(const char* key, const uint8_t* four)
    {
        char text[9];
        std::snprintf(text, sizeof text, "%02x%02x%02x%02x", four[0], four[1], four[2], four[3]);
        Text(key, text);
    }

    std::string_view Fields() const { return m_text; }

  private:
    std::string m_text;
};

SimPacket ReplyFrom(const SimBoard& board, uint32_t op, const SimPacket& request)
{
    SimPacket reply;
    reply.op = op;
    reply.transactionId = request.transactionId;
    reply.mac = board.mac;
    reply.dhcp = board.dhcp;
    reply.ip = board.ip;
    reply.mask = board.mask;
    reply.gateway = board.gateway;
    return reply;
}

} // namespace

NodeSimulator::NodeSimulator(std::vector<SimBoard> boards, const SimLog& log)
    : m_boards(std::move(boards)), m_log(log)
{
    for (SimBoard& board : m_boards)
        board.localSource = IsLocalAddress(board.ip);
}

NodeSimulator::~NodeSimulator()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool NodeSimulator::Open(uint32_t address, uint16_t port, QString& error)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = QStringLiteral("socket: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // Best effort: a burst of thousands of replies, or of requests, must not be dropped by us.
    if (::setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &kSocketBufferBytes, sizeof kSocketBufferBytes) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &kSocketBufferBytes, sizeof kSocketBufferBytes);
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &kSocketBufferBytes, sizeof kSocketBufferBytes) != 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kSocketBufferBytes, sizeof kSocketBufferBytes);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);

    sockaddr_in bound{};
    bound.sin_family = AF_INET;
    bound.sin_addr.s_addr = htonl(address);
    bound.sin_port = htons(port);
    socklen_t length = sizeof bound;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
        error = QStringLiteral("bind %1:%2: %3")
                    .arg(SimText::Ipv4Text(address))
                    .arg(port)
                    .arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return false;
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
    m_bound = bound;
    return true;
}

QString NodeSimulator::BoundText() const
{
    return PeerText(m_bound);
}

void NodeSimulator::OnReadable()
{
    // Larger than any IPv4 UDP payload, so no datagram is truncated into a plausible length.
    static uint8_t buffer[65536];
    for (int i = 0; i < kMaxDatagramsPerWakeup; ++i) {
        sockaddr_in peer{};
        iovec vector{buffer, sizeof buffer};
        msghdr message{};
        message.msg_name = &peer;
        message.msg_namelen = sizeof peer;
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        const ssize_t received = ::recvmsg(m_fd, &message, MSG_DONTWAIT | MSG_TRUNC);
        if (received < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        const auto length = static_cast<std::size_t>(received);
        if (message.msg_namelen < sizeof peer || peer.sin_family != AF_INET)
            continue;
        Handle(buffer, std::min(length, sizeof buffer), peer);
    }
}

void NodeSimulator::Handle(const uint8_t* data, std::size_t length, const sockaddr_in& peer)
{
    SimPacket request;
    const bool decoded = SimPacket::Decode(data, length, request);
    const bool known = request.op == SimPacket::SearchRequest || request.op == SimPacket::SetAddressRequest;
    if (m_log.IsOpen()) {
        LogFields entry("in", peer, length);
        if (decoded)
            entry.Packet(request);
        if (!decoded || !known)
            entry.Text("ignored", decoded ? "op" : "size");
        m_log.WriteFields(entry.Fields());
    }
    if (!decoded)
        return;

    if (request.op == SimPacket::SearchRequest)
        AnswerSearch(request, peer);
    else if (request.op == SimPacket::SetAddressRequest)
        AnswerSetAddress(request, peer);
}

void NodeSimulator::AnswerSearch(const SimPacket& request, const sockaddr_in& peer)
{
    for (std::size_t i = 0; i < m_boards.size(); ++i) {
        const SimBoard& board = m_boards[i];
        if (!Answers(board))
            continue;
        SimPacket reply = ReplyFrom(board, SimPacket::SearchReply, request);
        Queue(i, reply, peer, board.replyDelayMs);
        if (board.answerTwice) {
            // Changed so that a client can tell the second answer from the first.
            reply.ip += 1;
            Queue(i, reply, peer, board.replyDelayMs);
        }
    }
}

void NodeSimulator::AnswerSetAddress(const SimPacket& request, const sockaddr_in& peer)
{
    for (std::size_t i = 0; i < m_boards.size(); ++i) {
        SimBoard& board = m_boards[i];
        if (!Answers(board) || board.ignoreSetAddress || board.mac != request.mac)
            continue;
        if (board.setAddressResult == 0 && !board.keepSettings) {
            if (board.ip != request.ip)
                m_moves.emplace_back(i, request.ip);
            board.dhcp = request.dhcp;
            board.ip = request.ip;
            board.mask = request.mask;
            board.gateway = request.gateway;
            board.localSource = IsLocalAddress(board.ip);
        }
        SimPacket reply = ReplyFrom(board, SimPacket::SetAddressReply, request);
        reply.result = board.setAddressResult;
        if (board.keepSettings) {
            // It claims the new settings; only a later search shows what it kept.
            reply.dhcp = request.dhcp;
            reply.ip = request.ip;
            reply.mask = request.mask;
            reply.gateway = request.gateway;
        }
        if (board.replyMac)
            reply.mac = *board.replyMac;
        Queue(i, reply, peer, board.setAddressDelayMs);
    }
}

bool NodeSimulator::Answers(const SimBoard& board)
{
    return !board.silent && Clock::now() >= board.appearAt;
}

void NodeSimulator::Queue(std::size_t board, const SimPacket& reply, const sockaddr_in& peer, int delay)
{
    if (delay <= 0) {
        Send(board, reply, peer);
        return;
    }
    if (m_pending.size() >= kMaxPendingReplies) {
        if (m_log.IsOpen()) {
            LogFields entry("out", peer, 0);
            entry.Packet(reply);
            entry.Mac("board", m_boards[board].mac);
            entry.Text("error", "too many delayed replies; dropped");
            m_log.WriteFields(entry.Fields());
        }
        return;
    }
    // The sequence number keeps a board's replies in the order it decided them (answerTwice).
    m_pending.push(
        PendingReply{Clock::now() + std::chrono::milliseconds(delay), m_sequence++, board, reply, peer});
}

int NodeSimulator::MillisecondsToNextReply() const
{
    if (m_pending.empty())
        return -1;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(m_pending.top().due - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 24 * 3600 * 1000));
}

void NodeSimulator::RunDueReplies()
{
    const Clock::time_point now = Clock::now();
    while (!m_pending.empty() && m_pending.top().due <= now) {
        const PendingReply next = m_pending.top();
        m_pending.pop();
        Send(next.board, next.packet, next.peer);
    }
}

void NodeSimulator::Send(std::size_t boardIndex, const SimPacket& reply, const sockaddr_in& requester)
{
    SimBoard& board = m_boards[boardIndex];
    const auto bytes = reply.Encode();
    sockaddr_in peer = requester;
    if (board.replyBroadcast)
        peer.sin_addr.s_addr = htonl(INADDR_BROADCAST);

    iovec vector{const_cast<uint8_t*>(bytes.data()), bytes.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = const_cast<sockaddr_in*>(&peer);
    message.msg_namelen = sizeof peer;
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    if (board.localSource) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst.s_addr = htonl(board.ip);
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
    }

    ssize_t sent = 0;
    do {
        sent = ::sendmsg(m_fd, &message, 0);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0 && board.localSource && (errno == EINVAL || errno == EADDRNOTAVAIL)) {
        // The address binds but cannot be a source (nonlocal bind allowed): use the default source.
        board.localSource = false;
        message.msg_control = nullptr;
        message.msg_controllen = 0;
        do {
            sent = ::sendmsg(m_fd, &message, 0);
        } while (sent < 0 && errno == EINTR);
    }
    const int sendError = sent < 0 ? errno : 0;

    if (!m_log.IsOpen())
        return;
    LogFields entry("out", peer, bytes.size());
    entry.Packet(reply);
    entry.Mac("board", board.mac);
    entry.Address("src", board.localSource ? board.ip : ntohl(m_bound.sin_addr.s_addr));
    if (sendError != 0)
        entry.Text("error", std::strerror(sendError));
    m_log.WriteFields(entry.Fields());
}
