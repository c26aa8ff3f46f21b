#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <vector>

// A plain UDP socket for tests that play the tool's or a board's side by hand (odd datagrams, exact
// bytes, counting replies). Blocking only within the given time limits; no event loop needed.
class UdpTestSocket
{
  public:
    struct Datagram
    {
        QByteArray data;
        QString address; // sender, dotted
        quint16 port = 0;
    };

    UdpTestSocket() = default;
    ~UdpTestSocket();
    UdpTestSocket(const UdpTestSocket&) = delete;
    UdpTestSocket& operator=(const UdpTestSocket&) = delete;

    // receiveBufferBytes 0 keeps the system's default; larger values are forced when permitted.
    bool Open(const QString& address = QStringLiteral("127.0.0.1"), quint16 port = 0,
              int receiveBufferBytes = 0, bool broadcast = false);
    quint16 Port() const { return m_port; }
    bool SendTo(const QByteArray& datagram, const QString& address, quint16 port);

    // One datagram, or nothing once timeoutMs have passed.
    std::optional<Datagram> Receive(int timeoutMs);
    // Everything until quietMs pass without a datagram, or maxMs in all.
    QList<Datagram> ReceiveUntilQuiet(int quietMs, int maxMs);

  private:
    int m_fd = -1;
    quint16 m_port = 0;
};

// This process's UDP sockets bound to port (on any IPv4 address), lowest descriptor first.
std::vector<int> UdpSocketsOn(quint16 port);
