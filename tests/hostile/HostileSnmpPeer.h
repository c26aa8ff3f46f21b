#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

// A UDP peer on a loopback address that plays a board's SNMP agent badly: it decodes each request
// just far enough to know its request id and variable names, then answers with what the chosen
// behaviour says. Answers are BER written by hand so that every length and type can be wrong.
// Runs its own thread from Start() to Stop() (or destruction); the counters may be read meanwhile.
class HostileSnmpPeer
{
  public:
    enum class Behaviour
    {
        RandomBytes,    // datagrams of random length and content
        WrongRequestId, // well-formed responses to another request
        Truncated,      // a correct response cut short
        BadLengths,     // right id; values with lengths that do not fit their types
        WrongTypes,     // right id; values of other types, at least one unreadable
        UnknownNames,   // right id; names the request did not ask for
        ErrorStatus,    // right id; a non-zero error status over garbage variables
        Mixed,          // each request draws one of the above
    };

    explicit HostileSnmpPeer(Behaviour behaviour, uint32_t seed = 1);
    ~HostileSnmpPeer();
    HostileSnmpPeer(const HostileSnmpPeer&) = delete;
    HostileSnmpPeer& operator=(const HostileSnmpPeer&) = delete;

    // Binds address:0 and starts answering; false when the socket could not be set up.
    bool Start(const QString& address);
    void Stop();
    uint16_t Port() const { return m_port; }

    int Requests() const { return m_requests; }
    int Answers() const { return m_answers; }
    // Requests that did not decode as SNMPv2c GET or SET (the tool should send none).
    int Undecodable() const { return m_undecodable; }

    struct Request
    {
        int pduType = 0;
        int64_t requestId = 0;
        std::vector<std::vector<uint32_t>> names;
    };
    static bool Decode(const QByteArray& datagram, Request& request);

  private:
    void Run();
    QByteArray Answer(const Request& request, Behaviour behaviour);

    Behaviour m_behaviour;
    std::mt19937 m_rng;
    int m_fd = -1;
    int m_wakeFd = -1;
    uint16_t m_port = 0;
    std::thread m_thread;
    std::atomic<int> m_requests{0};
    std::atomic<int> m_answers{0};
    std::atomic<int> m_undecodable{0};
};
