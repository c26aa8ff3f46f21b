#include "cli/BoardWrite.h"

#include "cli/CliContext.h"
#include "cli/CommandLine.h"
#include "cli/SettingsChange.h"
#include "cli/SnmpBoard.h"
#include "core/BoardOperations.h"
#include "core/WriteSequence.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

using Kind = WriteResult::Kind;
using Phase = WriteResult::Phase;

QString WrittenText(const WritePlan& plan)
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

QString Section(int port)
{
    return port == 0 ? QStringLiteral("serial") : QStringLiteral("I/O port %1").arg(port);
}

QString FailureText(const WriteResult& result)
{
    QString text = OutcomeText(result.failure);
    if (result.phase == Phase::Verify)
        return QStringLiteral("written, but the read-back failed: %1").arg(text);
    if (result.phase == Phase::Write && (result.written.serial || !result.written.ports.isEmpty()))
        text += QStringLiteral("; %1 had been written").arg(WrittenText(result.written));
    return text;
}

QString DifferencesText(const WriteResult& result)
{
    QStringList texts;
    for (const WriteResult::Difference& difference : result.differences)
        texts << Section(difference.port) + QLatin1Char(' ') + DifferenceText(difference.setting);
    return QStringLiteral("read-back differs: ") + texts.join(QStringLiteral("; "));
}

BoardResult Result(const QString& address, CliStatus status, const QString& detail)
{
    return {address, status, ResultWord(status), detail};
}

BoardResult ResultOf(const QString& address, const WriteResult& result, bool verify)
{
    switch (result.kind) {
    case Kind::Written:
        break;
    case Kind::Invalid:
        return Result(address, CliStatus::BadInput,
                      QStringLiteral("nothing written: %1 %2")
                          .arg(Section(result.problemPort), ProblemText(result.problem)));
    case Kind::Failed:
        return Result(address, StatusOf(result.failure), FailureText(result));
    case Kind::Differs: {
        BoardResult differs = Result(address, CliStatus::Refused, DifferencesText(result));
        differs.result = QStringLiteral("differs");
        return differs;
    }
    }
    return Result(address, CliStatus::Done,
                  WrittenText(result.plan) +
                      (verify ? QStringLiteral(" written and verified") : QStringLiteral(" written")));
}

} // namespace

Task<BoardResult> WriteBoard(SnmpTransport& transport, QString address, SettingsChange change, bool verify)
{
    // In the frame, so that it lasts as long as the write, however the caller runs it.
    BoardLink link(transport, address.toStdString());
    const WriteResult result = co_await WriteChange(link, std::move(change), verify);
    co_return ResultOf(address, result, verify);
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
    const BoardResult result = RunOn(context.snmp, WriteBoard(context.snmp, address, change, line.Verify()));
    PrintRecords(ResultRecords({result}), line.Format(), context.out);
    return result.status;
}
