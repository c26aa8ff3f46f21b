#include "core/WriteSequence.h"

namespace {

using Kind = WriteResult::Kind;
using Phase = WriteResult::Phase;

WriteResult Failed(WriteResult result, Phase phase, SnmpOutcome failure)
{
    result.kind = Kind::Failed;
    result.phase = phase;
    result.failure = std::move(failure);
    return result;
}

WriteResult Invalid(WriteResult result, SettingProblem problem, int port)
{
    result.kind = Kind::Invalid;
    result.problem = problem;
    result.problemPort = port;
    return result;
}

// Reads what the change touches and merges it in; a result only when that failed.
Task<std::optional<WriteResult>> ReadPlan(BoardLink& link, const SettingsChange& change, WriteResult& result)
{
    if (change.serial) {
        BoardSerial serial;
        if (SnmpOutcome outcome = co_await ReadSerial(link, serial, SnmpPolicy::Strict); !outcome.IsDone())
            co_return Failed(result, Phase::Read, std::move(outcome));
        StoreSerialValues(*change.serial, serial);
        if (const SettingProblem problem = CheckSerialRecord(serial))
            co_return Invalid(result, problem, 0);
        result.plan.serial = serial;
    }
    if (change.gpio) {
        for (const PortChange& port : PortsOf(*change.gpio)) {
            GpioSettings settings;
            if (SnmpOutcome outcome = co_await ReadGpioPort(link, port.port, settings, SnmpPolicy::Strict);
                !outcome.IsDone())
                co_return Failed(result, Phase::Read, std::move(outcome));
            StoreGpioValues(change.gpio->node, settings);
            StoreGpioValues(port.values, settings);
            if (const SettingProblem problem = CheckGpioRecord(settings))
                co_return Invalid(result, problem, port.port);
            result.plan.ports << PortRecord{port.port, settings};
        }
    }
    co_return std::nullopt;
}

Task<std::optional<WriteResult>> WritePlanned(BoardLink& link, WriteResult& result)
{
    if (result.plan.serial) {
        if (SnmpOutcome outcome = co_await WriteSerial(link, *result.plan.serial, SnmpPolicy::Strict);
            !outcome.IsDone())
            co_return Failed(result, Phase::Write, std::move(outcome));
        result.written.serial = result.plan.serial;
    }
    for (const PortRecord& port : result.plan.ports) {
        if (SnmpOutcome outcome = co_await WriteGpioPort(link, port.port, port.settings, SnmpPolicy::Strict);
            !outcome.IsDone())
            co_return Failed(result, Phase::Write, std::move(outcome));
        result.written.ports << port;
    }
    co_return std::nullopt;
}

Task<std::optional<WriteResult>> Verify(BoardLink& link, WriteResult& result)
{
    if (result.plan.serial) {
        BoardSerial read;
        if (SnmpOutcome outcome = co_await ReadSerial(link, read, SnmpPolicy::Strict); !outcome.IsDone())
            co_return Failed(result, Phase::Verify, std::move(outcome));
        for (const SettingDifference& difference : SerialDifferences(*result.plan.serial, read))
            result.differences << WriteResult::Difference{0, difference};
    }
    for (const PortRecord& port : result.plan.ports) {
        GpioSettings read;
        if (SnmpOutcome outcome = co_await ReadGpioPort(link, port.port, read, SnmpPolicy::Strict);
            !outcome.IsDone())
            co_return Failed(result, Phase::Verify, std::move(outcome));
        for (const SettingDifference& difference : GpioDifferences(port.settings, read))
            result.differences << WriteResult::Difference{port.port, difference};
    }
    if (!result.differences.isEmpty())
        result.kind = Kind::Differs;
    co_return std::nullopt;
}

} // namespace

Task<WriteResult> WriteChange(BoardLink& link, SettingsChange change, bool verify)
{
    WriteResult result;
    if (std::optional<WriteResult> failed = co_await ReadPlan(link, change, result))
        co_return std::move(*failed);
    if (std::optional<WriteResult> failed = co_await WritePlanned(link, result))
        co_return std::move(*failed);
    if (verify) {
        if (std::optional<WriteResult> failed = co_await Verify(link, result))
            co_return std::move(*failed);
    }
    co_return result;
}
