#include "core/BoardOperations.h"

#include "core/SettingRules.h"
#include "core/SnmpSession.h"

#include <net-snmp/net-snmp-includes.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using Kind = SnmpOutcome::Kind;
using Request = SnmpOutcome::Request;

// Which request of an operation an outcome is about.
struct Step
{
    Request request;
    bool isSet;
    int port = 0;
};

constexpr Step kSerialGet{Request::SerialSettings, false};
constexpr Step kSerialPortGet{Request::SerialPortNumber, false};
constexpr Step kSerialSet{Request::SerialSettings, true};
constexpr Step kSerialPortSet{Request::SerialPortNumber, true};
constexpr Step kSerialCommit{Request::Commit, true};

SnmpOutcome Outcome(Kind kind, Step step, std::span<const MibVariable> variables)
{
    SnmpOutcome outcome;
    outcome.kind = kind;
    outcome.request = step.request;
    outcome.isSet = step.isSet;
    outcome.port = step.port;
    outcome.variables.assign(variables.begin(), variables.end());
    return outcome;
}

// A request that did not succeed: not sent, unanswered or refused.
SnmpOutcome Failure(const SnmpResponse& response, Step step, std::span<const MibVariable> variables)
{
    if (!response.sent || response.status == STAT_ERROR)
        return Outcome(Kind::NotSent, step, variables);
    if (response.status == STAT_TIMEOUT || !response.reply)
        return Outcome(Kind::NoReply, step, variables);
    SnmpOutcome outcome = Outcome(Kind::Refused, step, variables);
    outcome.errorStatus = response.reply->errstat;
    return outcome;
}

// The strict reading of a successful GET: Lacking, with the first variable the board lacks, when
// it read but one is lacking.
SnmpOutcome ReadStrictly(const SnmpResponse& response, Step step, std::span<const MibVariable> variables)
{
    auto absent = std::make_unique<bool[]>(variables.size());
    SnmpOutcome outcome = Outcome(Kind::Done, step, variables);
    const std::vector<ExpectedVariable> expected = ExpectedVariables(variables);
    if (!ReadReplyStrictly(*response.reply, expected.data(), expected.size(), absent.get(),
                           outcome.problem)) {
        outcome.kind = Kind::BadReply;
        return outcome;
    }
    const bool* const begin = absent.get();
    const bool* const end = begin + variables.size();
    if (const bool* const lacking = std::find(begin, end, true); lacking != end) {
        outcome.kind = Kind::Lacking;
        outcome.variable = static_cast<std::size_t>(lacking - begin);
    }
    return outcome;
}

// A strict GET of which every variable must be there; Done when it read.
SnmpOutcome StrictGet(const SnmpResponse& response, Step step, std::span<const MibVariable> variables)
{
    return Succeeded(response) ? ReadStrictly(response, step, variables) : Failure(response, step, variables);
}

SnmpOutcome StrictSet(const SnmpResponse& response, Step step, std::span<const MibVariable> variables)
{
    return Succeeded(response) ? Outcome(Kind::Done, step, variables) : Failure(response, step, variables);
}

SnmpOutcome Done()
{
    return {};
}

} // namespace

long BoardLink::Timeout(bool isSet)
{
    m_setSent = m_setSent || isSet;
    return RequestTimeoutUs(m_setSent);
}

Exchange BoardLink::Get(std::span<const MibVariable> variables)
{
    return Exchange(m_transport, BoardMib::GetRequest(m_peer, variables, Timeout(false)));
}

Exchange BoardLink::Set(std::span<const MibVariable> variables)
{
    return Exchange(m_transport, BoardMib::SetRequest(m_peer, variables, Timeout(true)));
}

Exchange BoardLink::Commit()
{
    return Exchange(m_transport, BoardMib::CommitRequest(m_peer, Timeout(true)));
}

int ReadSerialReplyLeniently(const netsnmp_pdu* reply, SerialSettings& settings)
{
    settings.portNumber = SerialRules::kDefaultPortNumber;
    const auto variables = BoardMib::SerialVariables(settings);
    const std::vector<ExpectedVariable> table = ExpectedVariables(variables);
    return ReadReplyLeniently(reply, table.data(), table.size());
}

Task<SnmpOutcome> ReadSerial(BoardLink& link, BoardSerial& serial, SnmpPolicy policy)
{
    const auto variables = BoardMib::SerialVariables(serial.settings);
    const std::span<const MibVariable> seven(variables.data(), BoardMib::kSerialPortIndex);
    const std::span<const MibVariable> port(&variables[BoardMib::kSerialPortIndex], 1);

    const SnmpResponse settings = co_await link.Get(seven);
    if (policy == SnmpPolicy::Strict) {
        if (SnmpOutcome outcome = StrictGet(settings, kSerialGet, seven); !outcome.IsDone())
            co_return outcome;
        const SnmpResponse number = co_await link.Get(port);
        if (!Succeeded(number))
            co_return Failure(number, kSerialPortGet, port);
        SnmpOutcome outcome = ReadStrictly(number, kSerialPortGet, port);
        // The port number is the one variable a board may lack.
        serial.hasPort = outcome.IsDone();
        if (outcome.kind == Kind::Lacking)
            outcome.kind = Kind::Done;
        co_return outcome;
    }
    if (!settings.sent)
        co_return Outcome(Kind::NotSent, kSerialGet, seven);
    const SnmpResponse number = co_await link.Get(port);
    if (!number.sent)
        co_return Outcome(Kind::NotSent, kSerialPortGet, port);
    // Only the seven decide; the port number is optional on the boards.
    const bool read = Succeeded(settings) && ReadSerialReplyLeniently(settings.reply.get(), serial.settings);
    if (Succeeded(number))
        (void)ReadSerialReplyLeniently(number.reply.get(), serial.settings);
    co_return read ? Done() : Outcome(Kind::BadReply, kSerialGet, seven);
}

Task<SnmpOutcome> WriteSerial(BoardLink& link, BoardSerial serial, SnmpPolicy policy)
{
    const auto variables = BoardMib::SerialVariables(serial.settings);
    const std::span<const MibVariable> seven(variables.data(), BoardMib::kSerialPortIndex);
    const std::span<const MibVariable> port(&variables[BoardMib::kSerialPortIndex], 1);

    const SnmpResponse settings = co_await link.Set(seven);
    if (policy == SnmpPolicy::Strict) {
        if (SnmpOutcome outcome = StrictSet(settings, kSerialSet, seven); !outcome.IsDone())
            co_return outcome;
        if (serial.hasPort) {
            if (SnmpOutcome outcome = StrictSet(co_await link.Set(port), kSerialPortSet, port);
                !outcome.IsDone())
                co_return outcome;
        }
        co_return StrictSet(co_await link.Commit(), kSerialCommit, {});
    }
    if (!settings.sent)
        co_return Outcome(Kind::NotSent, kSerialSet, seven);
    if (!(co_await link.Set(port)).sent)
        co_return Outcome(Kind::NotSent, kSerialPortSet, port);
    (void)co_await link.Commit();
    co_return Succeeded(settings) ? Done() : Failure(settings, kSerialSet, seven);
}

Task<SnmpOutcome> ReadGpioPort(BoardLink& link, int port, GpioSettings& settings, SnmpPolicy policy)
{
    const auto variables = BoardMib::GpioVariables(port, settings);
    const Step step{Request::GpioPort, false, port};
    const SnmpResponse response = co_await link.Get(variables);
    if (policy == SnmpPolicy::Strict)
        co_return StrictGet(response, step, variables);
    if (!Succeeded(response))
        co_return Failure(response, step, variables);
    const std::vector<ExpectedVariable> table = ExpectedVariables(variables);
    co_return ReadReplyLeniently(response.reply.get(), table.data(), table.size())
        ? Done()
        : Outcome(Kind::BadReply, step, variables);
}

Task<SnmpOutcome> WriteGpioPort(BoardLink& link, int port, GpioSettings settings, SnmpPolicy policy)
{
    const auto variables = BoardMib::GpioVariables(port, settings);
    std::vector<MibVariable> written;
    for (const std::size_t i : BoardMib::GpioWrittenVariables(settings.mode))
        written.push_back(variables[i]);
    // No list exists for a mode other than OUTPUT or INPUT (a board reported one): sending nothing
    // is safer than guessing which variables to write.
    const Step step{Request::GpioPort, true, port};
    if (written.empty())
        co_return Outcome(Kind::NoList, step, variables);
    const SnmpResponse response = co_await link.Set(written);
    if (policy == SnmpPolicy::Strict) {
        if (SnmpOutcome outcome = StrictSet(response, step, written); !outcome.IsDone())
            co_return outcome;
        co_return StrictSet(co_await link.Commit(), Step{Request::Commit, true, port}, {});
    }
    if (!response.sent)
        co_return Outcome(Kind::NotSent, step, written);
    (void)co_await link.Commit();
    co_return Succeeded(response) ? Done() : Failure(response, step, written);
}
