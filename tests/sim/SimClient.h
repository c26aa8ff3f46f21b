#pragma once

// Builds node protocol requests and reads replies byte by byte, as a tool would, for the simulator's
// own tests.
#include "tests/support/UdpTestSocket.h"

#include <QByteArray>
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
