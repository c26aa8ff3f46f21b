#pragma once

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/types.h>

// Qt 6.4's moc cannot read the standard library's concepts, which <coroutine> brings in.
#ifndef Q_MOC_RUN
#include <coroutine>
#endif
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct PduFree
{
    void operator()(netsnmp_pdu* pdu) const;
};
using PduPtr = std::unique_ptr<netsnmp_pdu, PduFree>;

// One variable of a request: its name and, in a SET, Net-SNMP's type letter ('i' INTEGER,
// 'a' IpAddress) and the value as text.
struct SnmpVariable
{
    std::vector<oid> name;
    char type = 0;
    std::string value;
};

struct SnmpRequest
{
    int command = 0;  // SNMP_MSG_GET or SNMP_MSG_SET
    std::string peer; // the board's dotted IPv4 address
    std::vector<SnmpVariable> variables;
    long timeoutUs = 0;
};

// What became of one request.
struct SnmpResponse
{
    bool sent = false; // false: no session could be opened, nothing went out
    int status = 0;    // STAT_SUCCESS, STAT_ERROR or STAT_TIMEOUT once sent
    PduPtr reply;      // null when none came
};

// Where the board operations send their requests: one blocking request at a time (the window's
// CSnmpAccess) or many at once from one event loop (SnmpLoop). Threads: the owner's.
class SnmpTransport
{
  public:
    using Done = std::function<void(SnmpResponse)>;

    virtual ~SnmpTransport() = default;
    // Sends the request and calls done exactly once with its outcome, before returning or later.
    virtual void Send(const SnmpRequest& request, Done done) = 0;
};

// co_await Exchange(transport, request): the request's outcome, in a Task coroutine.
class Exchange
{
  public:
    Exchange(SnmpTransport& transport, SnmpRequest request)
        : m_transport(transport), m_request(std::move(request))
    {
    }

    bool await_ready() const noexcept { return false; }
    bool await_suspend(std::coroutine_handle<> waiting)
    {
        m_waiting = waiting;
        m_transport.Send(m_request, [this](SnmpResponse response) {
            m_response = std::move(response);
            if (m_state == State::Suspended)
                m_waiting.resume();
            else
                m_state = State::Answered;
        });
        if (m_state == State::Answered)
            return false; // answered at once: go on without suspending
        m_state = State::Suspended;
        return true;
    }
    SnmpResponse await_resume() { return std::move(m_response); }

  private:
    enum class State
    {
        Sending,
        Answered,
        Suspended,
    };

    SnmpTransport& m_transport;
    SnmpRequest m_request;
    SnmpResponse m_response;
    std::coroutine_handle<> m_waiting;
    State m_state = State::Sending;
};
