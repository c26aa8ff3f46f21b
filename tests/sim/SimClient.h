#pragma once

// Builds node protocol requests and reads replies byte by byte, as a tool would, for the simulator's
// own tests.
#include "tests/support/UdpTestSocket.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtEndian>

#include <arpa/inet.h>

struct NodeRequest
{
    quint32 op = 0;
    QByteArray tid = QByteArray::fromHex("23010000");
    QString mac = QStringLiteral("00:00:00:00:00:00");
    QByteArray dhcp = QByteArray(4, '\0');
    QString ip = QStringLiteral("0.0.0.0");
    QString mask = QStringLiteral("0.0.0.0");
    QString gateway = QStringLiteral("0.0.0.0");

    static NodeRequest Search(const char* tidHex)
    {
        NodeRequest request;
        request.tid = QByteArray::fromHex(tidHex);
        return request;
    }
    static NodeRequest SetAddress(const char* tidHex, const char* mac, const char* ip, const char* mask)
    {
        NodeRequest request = Search(tidHex);
        request.op = 2;
        request.mac = QLatin1String(mac);
        request.ip = QLatin1String(ip);
        request.mask = QLatin1String(mask);
        return request;
    }

    QByteArray Bytes() const
    {
        QByteArray bytes;
        const quint32 wireOp = qToBigEndian(op);
        bytes.append(reinterpret_cast<const char*>(&wireOp), 4);
        bytes.append(tid);
        bytes.append(QByteArray::fromHex(mac.toLatin1().replace(':', "")));
        bytes.append(6, '\0'); // reserved, result
        bytes.append(dhcp);
        for (const QString& address : {ip, mask, gateway}) {
            in_addr value{};
            inet_pton(AF_INET, address.toLatin1().constData(), &value);
            bytes.append(reinterpret_cast<const char*>(&value), 4);
        }
        return bytes;
    }
};

struct NodeReply
{
    bool valid = false;
    quint32 op = 0;
    QByteArray tid;
    QString mac;
    QByteArray reserved;
    quint32 result = 0;
    QByteArray dhcp;
    QString ip, mask, gateway;
    QString from;
    quint16 fromPort = 0;

    static NodeReply From(const UdpTestSocket::Datagram& datagram)
    {
        NodeReply reply;
        const QByteArray& d = datagram.data;
        reply.from = datagram.address;
        reply.fromPort = datagram.port;
        if (d.size() != 36)
            return reply;
        const auto address = [&d](int offset) {
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, d.constData() + offset, text, sizeof text);
            return QString::fromLatin1(text);
        };
        reply.valid = true;
        reply.op = qFromBigEndian<quint32>(d.constData());
        reply.tid = d.mid(4, 4);
        reply.mac = QString::fromLatin1(d.mid(8, 6).toHex(':'));
        reply.reserved = d.mid(14, 2);
        reply.result = qFromBigEndian<quint32>(d.constData() + 16);
        reply.dhcp = d.mid(20, 4);
        reply.ip = address(24);
        reply.mask = address(28);
        reply.gateway = address(32);
        return reply;
    }
};

// SNMPv2c GETs of one variable, BER by hand, and the request id of a reply; just enough to time a
// board's agent without a client library that might queue or reorder.
struct SnmpRequest
{
    // requestId: not negative.
    static QByteArray Bytes(qint32 requestId, const QList<quint32>& name)
    {
        QByteArray oid(1, static_cast<char>(name.at(0) * 40 + name.at(1)));
        for (qsizetype i = 2; i < name.size(); ++i) {
            QByteArray arc(1, static_cast<char>(name.at(i) & 0x7f));
            for (quint32 rest = name.at(i) >> 7; rest != 0; rest >>= 7)
                arc.prepend(static_cast<char>(0x80 | (rest & 0x7f)));
            oid += arc;
        }
        QByteArray id;
        for (qint32 rest = requestId; id.isEmpty() || rest != 0; rest >>= 8)
            id.prepend(static_cast<char>(rest & 0xff));
        if (id.at(0) & 0x80)
            id.prepend('\0');
        const QByteArray varbind = Tlv(0x30, Tlv(0x06, oid) + Tlv(0x05, {}));
        const QByteArray pdu = Tlv(0xa0, Tlv(0x02, id) + Tlv(0x02, QByteArray(1, '\0')) +
                                             Tlv(0x02, QByteArray(1, '\0')) + Tlv(0x30, varbind));
        return Tlv(0x30, Tlv(0x02, QByteArray(1, '\1')) + Tlv(0x04, QByteArrayLiteral("vantile")) + pdu);
    }

    // The request id of a GetResponse, or -1 when the datagram is not one.
    static qint64 ReplyId(const QByteArray& datagram)
    {
        QByteArray message, field, pdu;
        qsizetype at = 0, inMessage = 0, inPdu = 0;
        if (!Read(datagram, at, 0x30, message) || !Read(message, inMessage, 0x02, field) ||
            !Read(message, inMessage, 0x04, field) || !Read(message, inMessage, 0xa2, pdu) ||
            !Read(pdu, inPdu, 0x02, field) || field.isEmpty() || field.size() > 4)
            return -1;
        qint64 id = static_cast<qint8>(field.at(0));
        for (qsizetype i = 1; i < field.size(); ++i)
            id = id * 256 + static_cast<quint8>(field.at(i));
        return id;
    }

  private:
    static QByteArray Tlv(quint8 tag, const QByteArray& content)
    {
        Q_ASSERT(content.size() < 0x80); // short lengths are all a GET of one variable needs
        return QByteArray(1, static_cast<char>(tag)) + QByteArray(1, static_cast<char>(content.size())) +
               content;
    }

    static bool Read(const QByteArray& data, qsizetype& pos, quint8 tag, QByteArray& content)
    {
        if (pos + 2 > data.size() || static_cast<quint8>(data.at(pos)) != tag)
            return false;
        qsizetype length = static_cast<quint8>(data.at(pos + 1));
        pos += 2;
        if (length & 0x80) {
            const qsizetype digits = length & 0x7f;
            if (digits == 0 || digits > 2 || pos + digits > data.size())
                return false;
            length = 0;
            for (qsizetype i = 0; i < digits; ++i)
                length = length * 256 + static_cast<quint8>(data.at(pos++));
        }
        if (pos + length > data.size())
            return false;
        content = data.mid(pos, length);
        pos += length;
        return true;
    }
};
