#include "tests/hostile/HostileSnmpPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace {

// ---- BER, by hand -------------------------------------------------------------------------------

QByteArray Length(qsizetype length)
{
    QByteArray out;
    if (length < 0x80) {
        out.append(char(length));
        return out;
    }
    QByteArray digits;
    for (qsizetype n = length; n != 0; n >>= 8)
        digits.prepend(char(n & 0xff));
    out.append(char(0x80 | digits.size()));
    return out + digits;
}

QByteArray Tlv(uint8_t tag, const QByteArray& content)
{
    return QByteArray(1, char(tag)) + Length(content.size()) + content;
}

QByteArray IntegerContent(int64_t value)
{
    QByteArray out;
    for (;;) {
        out.prepend(char(value & 0xff));
        const int64_t rest = value >> 8;
        const bool signBit = (value & 0x80) != 0;
        if ((rest == 0 && !signBit) || (rest == -1 && signBit))
            return out;
        value = rest;
    }
}

QByteArray Integer(int64_t value, uint8_t tag = 0x02)
{
    return Tlv(tag, IntegerContent(value));
}

QByteArray ObjectId(const std::vector<uint32_t>& name)
{
    QByteArray out;
    if (name.size() >= 2)
        out.append(char(name[0] * 40 + name[1]));
    for (size_t i = 2; i < name.size(); ++i) {
        QByteArray sub;
        uint32_t value = name[i];
        sub.prepend(char(value & 0x7f));
        while ((value >>= 7) != 0)
            sub.prepend(char(0x80 | (value & 0x7f)));
        out += sub;
    }
    return Tlv(0x06, out);
}

QByteArray Response(int64_t requestId, int64_t errorStatus, int64_t errorIndex, const QByteArray& varbinds)
{
    const QByteArray pdu =
        Tlv(0xa2, Integer(requestId) + Integer(errorStatus) + Integer(errorIndex) + Tlv(0x30, varbinds));
    return Tlv(0x30, Integer(1) + Tlv(0x04, QByteArrayLiteral("vantile")) + pdu);
}

// Reads one TLV at pos; false when it does not fit.
bool ReadTlv(const QByteArray& data, qsizetype& pos, uint8_t& tag, QByteArray& content)
{
    if (pos + 2 > data.size())
        return false;
    tag = uint8_t(data[pos++]);
    qsizetype length = uint8_t(data[pos++]);
    if (length & 0x80) {
        const int digits = int(length & 0x7f);
        if (digits == 0 || digits > 4 || pos + digits > data.size())
            return false;
        length = 0;
        for (int i = 0; i < digits; ++i)
            length = length << 8 | uint8_t(data[pos++]);
    }
    if (pos + length > data.size())
        return false;
    content = data.mid(pos, length);
    pos += length;
    return true;
}

bool ReadInteger(const QByteArray& content, int64_t& value)
{
    if (content.isEmpty() || content.size() > 8)
        return false;
    value = int8_t(content[0]);
    for (qsizetype i = 1; i < content.size(); ++i)
        value = value * 256 + uint8_t(content[i]);
    return true;
}

bool ReadObjectId(const QByteArray& content, std::vector<uint32_t>& name)
{
    if (content.isEmpty())
        return false;
    name = {uint32_t(uint8_t(content[0]) / 40), uint32_t(uint8_t(content[0]) % 40)};
    uint32_t sub = 0;
    for (qsizetype i = 1; i < content.size(); ++i) {
        sub = sub << 7 | (uint8_t(content[i]) & 0x7f);
        if ((uint8_t(content[i]) & 0x80) == 0) {
            name.push_back(sub);
            sub = 0;
        }
    }
    return true;
}

} // namespace

HostileSnmpPeer::HostileSnmpPeer(Behaviour behaviour, uint32_t seed) : m_behaviour(behaviour), m_rng(seed) {}

HostileSnmpPeer::~HostileSnmpPeer()
{
    Stop();
}

bool HostileSnmpPeer::Start(const QString& address)
{
    m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    m_wakeFd = eventfd(0, EFD_CLOEXEC);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (m_fd < 0 || m_wakeFd < 0 ||
        inet_pton(AF_INET, address.toLatin1().constData(), &local.sin_addr) != 1 ||
        bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        return false;
    socklen_t length = sizeof local;
    if (getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return false;
    m_port = ntohs(local.sin_port);
    m_thread = std::thread(&HostileSnmpPeer::Run, this);
    return true;
}

void HostileSnmpPeer::Stop()
{
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
        m_thread.join();
    }
    for (int* fd : {&m_fd, &m_wakeFd}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
}

void HostileSnmpPeer::Run()
{
    QByteArray buffer(65536, '\0');
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents != 0)
            return;
        sockaddr_in from{};
        socklen_t fromLength = sizeof from;
        const ssize_t n = recvfrom(m_fd, buffer.data(), size_t(buffer.size()), 0,
                                   reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (n < 0)
            continue;
        ++m_requests;
        Request request;
        if (!Decode(buffer.left(n), request)) {
            ++m_undecodable;
            continue;
        }
        Behaviour behaviour = m_behaviour;
        if (behaviour == Behaviour::Mixed)
            behaviour = Behaviour(m_rng() % int(Behaviour::Mixed));
        const QByteArray answer = Answer(request, behaviour);
        if (sendto(m_fd, answer.constData(), size_t(answer.size()), 0, reinterpret_cast<sockaddr*>(&from),
                   fromLength) == answer.size())
            ++m_answers;
    }
}

bool HostileSnmpPeer::Decode(const QByteArray& datagram, Request& request)
{
    qsizetype pos = 0;
    uint8_t tag = 0;
    QByteArray message;
    if (!ReadTlv(datagram, pos, tag, message) || tag != 0x30)
        return false;
    pos = 0;
    QByteArray field;
    int64_t version = -1;
    if (!ReadTlv(message, pos, tag, field) || tag != 0x02 || !ReadInteger(field, version) || version != 1)
        return false;
    if (!ReadTlv(message, pos, tag, field) || tag != 0x04)
        return false;
    QByteArray pdu;
    if (!ReadTlv(message, pos, tag, pdu) || (tag != 0xa0 && tag != 0xa3))
        return false;
    request.pduType = tag;
    pos = 0;
    if (!ReadTlv(pdu, pos, tag, field) || tag != 0x02 || !ReadInteger(field, request.requestId))
        return false;
    for (int skip = 0; skip < 2; ++skip) {
        if (!ReadTlv(pdu, pos, tag, field) || tag != 0x02)
            return false;
    }
    QByteArray list;
    if (!ReadTlv(pdu, pos, tag, list) || tag != 0x30)
        return false;
    for (qsizetype at = 0; at < list.size();) {
        QByteArray varbind;
        if (!ReadTlv(list, at, tag, varbind) || tag != 0x30)
            return false;
        qsizetype inner = 0;
        QByteArray name;
        std::vector<uint32_t> oid;
        if (!ReadTlv(varbind, inner, tag, name) || tag != 0x06 || !ReadObjectId(name, oid))
            return false;
        request.names.push_back(oid);
    }
    return true;
}

QByteArray HostileSnmpPeer::Answer(const Request& request, Behaviour behaviour)
{
    auto bytes = [this](int count) {
        QByteArray out(count, '\0');
        for (char& c : out)
            c = char(m_rng());
        return out;
    };
    auto goodVarbinds = [&] {
        QByteArray out;
        for (const auto& name : request.names)
            out += Tlv(0x30, ObjectId(name) + Integer(int32_t(m_rng() % 4)));
        return out;
    };

    switch (behaviour) {
    case Behaviour::RandomBytes: {
        QByteArray out = bytes(int(m_rng() % 700));
        // Half of them at least look like the start of a message.
        if (!out.isEmpty() && m_rng() % 2 == 0)
            out[0] = char(0x30);
        return out;
    }
    case Behaviour::WrongRequestId:
        return Response(request.requestId + 1 + int64_t(m_rng() % 1000), 0, 0, goodVarbinds());
    case Behaviour::Truncated: {
        const QByteArray whole = Response(request.requestId, 0, 0, goodVarbinds());
        return whole.left(qsizetype(m_rng() % uint32_t(whole.size())));
    }
    case Behaviour::BadLengths: {
        // Every value has a length its type does not allow; some make the message undecodable,
        // the others leave values too short to hold a 32-bit number.
        QByteArray out;
        for (const auto& name : request.names) {
            QByteArray value;
            switch (m_rng() % 5) {
            case 0:
                value = Tlv(0x40, bytes(int(m_rng() % 4))); // IpAddress of 0 to 3 bytes
                break;
            case 1:
                value = Tlv(0x04, bytes(int(m_rng() % 4))); // a string too short for a number
                break;
            case 2:
                value = Tlv(0x02, QByteArray()); // INTEGER without content
                break;
            case 3:
                value = Tlv(0x02, bytes(9 + int(m_rng() % 8))); // INTEGER wider than 64 bits
                break;
            default:
                value = QByteArray(1, char(0x02)) + Length(4000) + bytes(2); // runs past the end
                break;
            }
            out += Tlv(0x30, ObjectId(name) + value);
        }
        return Response(request.requestId, 0, 0, out);
    }
    case Behaviour::WrongTypes: {
        QByteArray out;
        const size_t unreadable = request.names.empty() ? 0 : m_rng() % request.names.size();
        for (size_t i = 0; i < request.names.size(); ++i) {
            QByteArray value;
            const unsigned pick = i == unreadable ? m_rng() % 4 : m_rng() % 8;
            switch (pick) {
            case 0:
                value = Tlv(0x05, QByteArray()); // NULL
                break;
            case 1:
                value = Tlv(uint8_t(0x80 + m_rng() % 3), QByteArray()); // an exception value
                break;
            case 2:
                value = Tlv(0x04, bytes(int(m_rng() % 4))); // a short string
                break;
            case 3:
                value = Tlv(0x04, QByteArray()); // an empty string
                break;
            case 4:
                value = Tlv(0x04, bytes(4 + int(m_rng() % 60)));
                break;
            case 5:
                value = ObjectId({1, 3, 6, uint32_t(m_rng())});
                break;
            case 6:
                value = Integer(int64_t(m_rng()) << 20, 0x46); // Counter64
                break;
            default:
                value = Tlv(0x44, bytes(int(m_rng() % 40))); // Opaque
                break;
            }
            out += Tlv(0x30, ObjectId(request.names[i]) + value);
        }
        return Response(request.requestId, 0, 0, out);
    }
    case Behaviour::UnknownNames: {
        QByteArray out;
        for (auto name : request.names) {
            if (!name.empty())
                name.back() += 1 + m_rng() % 5;
            out += Tlv(0x30, ObjectId(name) + Integer(1));
        }
        if (out.isEmpty() || m_rng() % 2 == 0)
            out += Tlv(0x30, ObjectId({1, 3, 6, 1, 2, 1, 1, 5, 0}) + Tlv(0x04, QByteArrayLiteral("board")));
        return Response(request.requestId, 0, 0, out);
    }
    case Behaviour::ErrorStatus:
    case Behaviour::Mixed:
        break;
    }
    QByteArray garbage;
    for (int i = int(m_rng() % 4); i > 0; --i)
        garbage += Tlv(0x30, ObjectId({1, 3, uint32_t(m_rng() % 100)}) + Tlv(0x04, bytes(int(m_rng() % 10))));
    return Response(request.requestId, 1 + int64_t(m_rng() % 18), int64_t(m_rng() % 8), garbage);
}
