#include "core/SnmpLoop.h"

#include "core/SnmpSession.h"

#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/large_fd_set.h>

#include <sys/select.h>

#include <algorithm>

namespace {

// The time from now to deadline, when it comes before the earliest timeout found so far.
void CapTimeout(std::chrono::steady_clock::time_point deadline, bool& timed, timeval& earliest)
{
    if (deadline == std::chrono::steady_clock::time_point::max())
        return;
    const auto left =
        std::max(std::chrono::ceil<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now()),
                 std::chrono::microseconds(0));
    const timeval cap{static_cast<time_t>(left.count() / 1000000),
                      static_cast<suseconds_t>(left.count() % 1000000)};
    if (!timed || timercmp(&cap, &earliest, <)) {
        earliest = cap;
        timed = true;
    }
}

} // namespace

struct SnmpLoop::Pending
{
    void* session = nullptr;
    Done done;
    bool answered = false;
    SnmpResponse response;
};

SnmpLoop::SnmpLoop(uint16_t agentPort) : m_agentPort(agentPort)
{
    InitSnmpLibrary();
}

SnmpLoop::~SnmpLoop()
{
    for (const auto& pending : m_pending)
        snmp_sess_close(pending->session);
}

void SnmpLoop::Send(const SnmpRequest& request, Done done)
{
    auto pending = std::make_unique<Pending>();
    pending->done = std::move(done);
    netsnmp_session settings = SessionTemplate(request.timeoutUs);
    std::string peer = PeerName(request.peer, m_agentPort);
    settings.peername = peer.data();
    settings.callback = &SnmpLoop::OnEvent;
    settings.callback_magic = pending.get();
    pending->session = snmp_sess_open(&settings);
    netsnmp_pdu* pdu = pending->session ? BuildPdu(request.command, VarSpecs(request)) : nullptr;
    if (pdu == nullptr) {
        if (pending->session)
            snmp_sess_close(pending->session);
        pending->done(SnmpResponse{});
        return;
    }
    if (snmp_sess_async_send(pending->session, pdu, &SnmpLoop::OnEvent, pending.get()) == 0) {
        // Not handed to the network: the library still owns nothing of it.
        snmp_free_pdu(pdu);
        snmp_sess_close(pending->session);
        pending->done(SnmpResponse{true, STAT_ERROR, nullptr});
        return;
    }
    m_pending.push_back(std::move(pending));
}

int SnmpLoop::OnEvent(int operation, netsnmp_session*, int, netsnmp_pdu* pdu, void* magic)
{
    auto* pending = static_cast<Pending*>(magic);
    pending->answered = true;
    pending->response.sent = true;
    if (operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE) {
        pending->response.status = STAT_SUCCESS;
        // The library frees its PDU when this returns.
        pending->response.reply.reset(snmp_clone_pdu(pdu));
    } else if (operation == NETSNMP_CALLBACK_OP_TIMED_OUT) {
        pending->response.status = STAT_TIMEOUT;
    } else {
        pending->response.status = STAT_ERROR;
    }
    return 1;
}

void SnmpLoop::Run()
{
    RunUntil(std::chrono::steady_clock::time_point::max());
}

void SnmpLoop::RunUntil(std::chrono::steady_clock::time_point deadline)
{
    while (!m_pending.empty() && std::chrono::steady_clock::now() < deadline) {
        WaitOnce(deadline);
        HandOver();
    }
}

void SnmpLoop::Abandon()
{
    for (const auto& pending : m_pending)
        snmp_sess_close(pending->session);
    m_pending.clear();
}

void SnmpLoop::WaitOnce(std::chrono::steady_clock::time_point deadline)
{
    netsnmp_large_fd_set readable;
    netsnmp_large_fd_set_init(&readable, FD_SETSIZE);
    int fdCount = 0;
    bool timed = false;
    timeval earliest{};
    for (const auto& pending : m_pending) {
        int block = 1;
        timeval timeout{};
        snmp_sess_select_info2(pending->session, &fdCount, &readable, &timeout, &block);
        if (!block && (!timed || timercmp(&timeout, &earliest, <))) {
            earliest = timeout;
            timed = true;
        }
    }
    CapTimeout(deadline, timed, earliest);
    const int ready =
        netsnmp_large_fd_set_select(fdCount, &readable, nullptr, nullptr, timed ? &earliest : nullptr);
    for (const auto& pending : m_pending) {
        if (ready > 0)
            snmp_sess_read2(pending->session, &readable);
        // Also while others are busy answering: a request whose time is up ends now.
        if (!pending->answered)
            snmp_sess_timeout(pending->session);
    }
    netsnmp_large_fd_set_cleanup(&readable);
}

// The callbacks may send further requests, which join the list behind those handed on here.
void SnmpLoop::HandOver()
{
    std::list<std::unique_ptr<Pending>> answered;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        const auto next = std::next(it);
        if ((*it)->answered)
            answered.splice(answered.end(), m_pending, it);
        it = next;
    }
    for (const auto& pending : answered) {
        snmp_sess_close(pending->session);
        pending->done(std::move(pending->response));
    }
}
