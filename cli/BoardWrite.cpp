#include "cli/BoardWrite.h"

#include "cli/CliContext.h"
#include "cli/CommandLine.h"

#include "snmpconfig/GpioSettings.h"
#include "snmpconfig/SerialSettings.h"
#include "cli/SettingsChange.h"
#include "cli/SnmpBoard.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

struct PortRecord
{
    int port;
    GpioSettings settings;
};

// The records a change writes, once read and merged.
struct Plan
{
    std::optional<BoardSerial> serial;
    QList<PortRecord> ports;
};

BoardResult Failed(const SnmpBoard& board, CliStatus status, const QString& detail)
{
    return {board.Address(), status, ResultWord(status), detail};
}

QList<PortChange> PortsOf(const GpioChange& change)
{
    // The node-wide settings travel only in a port's request: without ports, port 1 carries them.
    return change.ports.isEmpty() ? QList<PortChange>{PortChange{}} : change.ports;
}

std::optional<BoardResult> ReadPlan(SnmpBoard& board, const SettingsChange& change, Plan& plan)
{
    QString message;
    if (change.serial) {
        BoardSerial serial;
        if (const CliStatus status = board.ReadSerial(serial, message); status != CliStatus::Done)
            return Failed(board, status, message);
        StoreSerialValues(*change.serial, serial);
        if (const QString problem = CheckSerialRecord(serial); !problem.isEmpty())
            return Failed(board, CliStatus::BadInput,
                          QStringLiteral("nothing written: serial %1").arg(problem));
        plan.serial = serial;
    }
    if (change.gpio) {
        for (const PortChange& port : PortsOf(*change.gpio)) {
            GpioSettings settings;
            if (const CliStatus status = board.ReadGpio(port.port, settings, message);
                status != CliStatus::Done)
                return Failed(board, status, message);
            StoreGpioValues(change.gpio->node, settings);
            StoreGpioValues(port.values, settings);
            if (const QString problem = CheckGpioRecord(settings); !problem.isEmpty())
                return Failed(board, CliStatus::BadInput,
                              QStringLiteral("nothing written: I/O port %1 %2").arg(port.port).arg(problem));
            plan.ports << PortRecord{port.port, settings};
        }
    }
    return std::nullopt;
}

QString WrittenText(const Plan& plan)
{
    QStringList parts;
    if (plan.serial)
        parts << QStringLiteral("serial");
    if (!plan.ports.isEmpty()) {
        QStringList numbers;
        for (const PortRecord& port : plan.ports)
            numbers << QString::number(port.port);
        parts << (numbers.size() == 1 ? QStringLiteral("I/O port ") : QStringLiteral("I/O ports ")) +
                     numbers.join(QLatin1Char(','));
    }
    return parts.join(QStringLiteral(" and "));
}

// Each record with its commit, in order; a failure's detail says which records were written before.
std::optional<BoardResult> WritePlan(SnmpBoard& board, const Plan& plan)
{
    QString message;
    Plan written;
    const auto failed = [&](CliStatus status) {
        if (written.serial || !written.ports.isEmpty())
            message += QStringLiteral("; %1 had been written").arg(WrittenText(written));
        return Failed(board, status, message);
    };
    if (plan.serial) {
        if (const CliStatus status = board.WriteSerial(*plan.serial, message); status != CliStatus::Done)
            return failed(status);
        written.serial = plan.serial;
    }
    for (const PortRecord& port : plan.ports) {
        if (const CliStatus status = board.WriteGpio(port.port, port.settings, message);
            status != CliStatus::Done)
            return failed(status);
        written.ports << port;
    }
    return std::nullopt;
}

std::optional<BoardResult> VerifyPlan(SnmpBoard& board, const Plan& plan)
{
    QString message;
    QStringList differences;
    if (plan.serial) {
        BoardSerial read;
        if (const CliStatus status = board.ReadSerial(read, message); status != CliStatus::Done)
            return Failed(board, status,
                          QStringLiteral("written, but the read-back failed: %1").arg(message));
        for (const QString& difference : SerialDifferences(*plan.serial, read))
            differences << QStringLiteral("serial ") + difference;
    }
    for (const PortRecord& port : plan.ports) {
        GpioSettings read;
        if (const CliStatus status = board.ReadGpio(port.port, read, message); status != CliStatus::Done)
            return Failed(board, status,
                          QStringLiteral("written, but the read-back failed: %1").arg(message));
        for (const QString& difference : GpioDifferences(port.settings, read))
            differences << QStringLiteral("I/O port %1 %2").arg(port.port).arg(difference);
    }
    if (differences.isEmpty())
        return std::nullopt;
    BoardResult result =
        Failed(board, CliStatus::Refused,
               QStringLiteral("read-back differs: ") + differences.join(QStringLiteral("; ")));
    result.result = QStringLiteral("differs");
    return result;
}

} // namespace

BoardResult WriteSettings(SnmpBoard& board, const SettingsChange& change, bool verify)
{
    Plan plan;
    if (std::optional<BoardResult> failed = ReadPlan(board, change, plan))
        return *failed;
    if (std::optional<BoardResult> failed = WritePlan(board, plan))
        return *failed;
    if (verify) {
        if (std::optional<BoardResult> failed = VerifyPlan(board, plan))
            return *failed;
    }
    return {board.Address(), CliStatus::Done, ResultWord(CliStatus::Done),
            WrittenText(plan) +
                (verify ? QStringLiteral(" written and verified") : QStringLiteral(" written"))};
}

Records ResultRecords(const QList<BoardResult>& results)
{
    Records records;
    records.columns = {QStringLiteral("board"), QStringLiteral("result"), QStringLiteral("detail")};
    QJsonArray list;
    for (const BoardResult& result : results) {
        records.rows << QStringList{result.board, result.result, result.detail};
        list.append(QJsonObject{{QStringLiteral("board"), result.board},
                                {QStringLiteral("status"), static_cast<int>(result.status)},
                                {QStringLiteral("result"), result.result},
                                {QStringLiteral("detail"), result.detail}});
    }
    records.json = QJsonDocument(list);
    return records;
}

CliStatus WriteAndReport(CliContext& context, const QString& address, const SettingsChange& change,
                         const CommandLine& line)
{
    SnmpBoard board(context.snmp, address);
    const BoardResult result = WriteSettings(board, change, line.Verify());
    PrintRecords(ResultRecords({result}), line.Format(), context.out);
    return result.status;
}
