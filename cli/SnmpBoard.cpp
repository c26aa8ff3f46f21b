#include "cli/SnmpBoard.h"

#include "cli/SettingFields.h"
#include "cli/SettingsChange.h"
#include "core/SettingRules.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <QList>
#include <QStringList>

namespace {

// The error-status names of SNMPv2 (RFC 3416).
QString ErrorStatusName(long errorStatus)
{
    static const char* const names[] = {
        "noError",
        "tooBig",
        "noSuchName",
        "badValue",
        "readOnly",
        "genErr",
        "noAccess",
        "wrongType",
        "wrongLength",
        "wrongEncoding",
        "wrongValue",
        "noCreation",
        "inconsistentValue",
        "resourceUnavailable",
        "commitFailed",
        "undoFailed",
        "authorizationError",
        "notWritable",
        "inconsistentName",
    };
    if (errorStatus >= 0 && errorStatus < static_cast<long>(std::size(names)))
        return QString::fromLatin1(names[errorStatus]);
    return QStringLiteral("error-status %1").arg(errorStatus);
}

QString TypeName(u_char type)
{
    switch (type) {
    case ASN_INTEGER:
        return QStringLiteral("INTEGER");
    case ASN_IPADDRESS:
        return QStringLiteral("IpAddress");
    case ASN_OCTET_STR:
        return QStringLiteral("OCTET STRING");
    case ASN_OBJECT_ID:
        return QStringLiteral("OBJECT IDENTIFIER");
    case ASN_NULL:
        return QStringLiteral("NULL");
    case ASN_COUNTER:
        return QStringLiteral("Counter32");
    case ASN_GAUGE:
        return QStringLiteral("Gauge32");
    case ASN_TIMETICKS:
        return QStringLiteral("TimeTicks");
    case ASN_OPAQUE:
        return QStringLiteral("Opaque");
    case ASN_COUNTER64:
        return QStringLiteral("Counter64");
    case SNMP_NOSUCHOBJECT:
        return QStringLiteral("noSuchObject");
    case SNMP_NOSUCHINSTANCE:
        return QStringLiteral("noSuchInstance");
    case SNMP_ENDOFMIBVIEW:
        return QStringLiteral("endOfMibView");
    default:
        return QStringLiteral("type 0x%1").arg(type, 2, 16, QLatin1Char('0'));
    }
}

QString OidText(const oid* name, size_t length)
{
    QStringList parts;
    for (size_t i = 0; i < length; ++i)
        parts << QString::number(name[i]);
    return parts.join(QLatin1Char('.'));
}

using Kind = SnmpOutcome::Kind;
using Request = SnmpOutcome::Request;

QString PortText(int port)
{
    return QStringLiteral("I/O port %1").arg(port);
}

// What the failed request was about.
QString What(const SnmpOutcome& outcome)
{
    switch (outcome.request) {
    case Request::SerialSettings:
        return QStringLiteral("serial settings");
    case Request::SerialPortNumber:
        return QStringLiteral("serial port number");
    case Request::GpioPort:
        return PortText(outcome.port);
    case Request::Commit:
        return outcome.port ? PortText(outcome.port) : QStringLiteral("serial settings");
    }
    return {};
}

QString Verb(const SnmpOutcome& outcome)
{
    if (outcome.request == Request::Commit)
        return QStringLiteral("committing");
    return outcome.isSet ? QStringLiteral("writing") : QStringLiteral("reading");
}

// The name of a variable of the failed request: "serial bitrate", "I/O manager", "I/O port 3 mode".
QString VariableName(const SnmpOutcome& outcome, const MibVariable& variable)
{
    const QString key = QString::fromLatin1(variable.key);
    if (outcome.request != Request::GpioPort)
        return QStringLiteral("serial ") + key;
    if (FindField(GpioNodeFields(), key))
        return QStringLiteral("I/O ") + key;
    return QStringLiteral("%1 %2").arg(PortText(outcome.port), key);
}

QString Named(const SnmpOutcome& outcome, size_t index)
{
    const MibVariable& variable = outcome.variables[index];
    return QStringLiteral("%1 (%2)").arg(VariableName(outcome, variable),
                                         OidText(variable.name, variable.nameLength));
}

// What a strict reading found wrong.
QString ProblemText(const SnmpOutcome& outcome)
{
    using ProblemKind = StrictReadProblem::Kind;
    const StrictReadProblem& problem = outcome.problem;
    switch (problem.kind) {
    case ProblemKind::Missing:
        return QStringLiteral("the reply lacks %1").arg(Named(outcome, problem.index));
    case ProblemKind::Repeated:
        return QStringLiteral("the reply has %1 twice").arg(Named(outcome, problem.index));
    case ProblemKind::WrongType:
        return QStringLiteral("%1 came back as %2, not %3")
            .arg(Named(outcome, problem.index), TypeName(problem.type),
                 TypeName(outcome.variables[problem.index].type));
    case ProblemKind::BadValue:
        return QStringLiteral("%1 came back as a malformed %2")
            .arg(Named(outcome, problem.index), TypeName(problem.type));
    case ProblemKind::Unrequested:
        return QStringLiteral("the reply has %1, which was not asked for")
            .arg(OidText(problem.name.data(), problem.name.size()));
    case ProblemKind::None:
        break;
    }
    return QStringLiteral("the board's reply could not be read");
}

// After a failed SET of a write: what the board had accepted of it.
QString AcceptedText(const SnmpOutcome& outcome)
{
    if (outcome.request == Request::SerialPortNumber && outcome.isSet)
        return QStringLiteral("; the other serial settings had been accepted, nothing was committed");
    if (outcome.request == Request::Commit)
        return outcome.port ? QStringLiteral("; its settings had been accepted")
                            : QStringLiteral("; the settings had been accepted");
    return {};
}

} // namespace

SnmpBoard::SnmpBoard(SnmpLoop& loop, const QString& address)
    : m_loop(loop), m_link(loop, address.toStdString())
{
}

CliStatus SnmpBoard::ReadSerial(BoardSerial& serial, QString& message)
{
    const SnmpOutcome outcome = RunOn(m_loop, ::ReadSerial(m_link, serial, SnmpPolicy::Strict));
    message = OutcomeText(outcome);
    return StatusOf(outcome);
}

CliStatus SnmpBoard::ReadGpioPorts(const QList<int>& ports, QList<std::pair<int, GpioSettings>>& read,
                                   QString& message)
{
    const SnmpOutcome outcome = RunOn(m_loop, ::ReadGpioPorts(m_link, ports, read));
    message = OutcomeText(outcome);
    return StatusOf(outcome);
}

Task<SnmpOutcome> ReadGpioPorts(BoardLink& link, QList<int> ports, QList<std::pair<int, GpioSettings>>& read)
{
    for (const int port : ports) {
        GpioSettings settings;
        SnmpOutcome outcome = co_await ReadGpioPort(link, port, settings, SnmpPolicy::Strict);
        if (!outcome.IsDone())
            co_return outcome;
        read.append({port, settings});
    }
    co_return SnmpOutcome{};
}

Task<SnmpOutcome> ReadBoardSettings(BoardLink& link, BoardReading& reading)
{
    SnmpOutcome outcome = co_await ReadSerial(link, reading.serial, SnmpPolicy::Strict);
    if (outcome.IsDone())
        outcome = co_await ReadGpioPorts(link, AllGpioPorts(), reading.ports);
    co_return outcome;
}

CliStatus StatusOf(const SnmpOutcome& outcome)
{
    switch (outcome.kind) {
    case Kind::Done:
        return CliStatus::Done;
    case Kind::NotSent:
        return CliStatus::NotSent;
    case Kind::NoReply:
        return CliStatus::NoReply;
    case Kind::NoList:
        return CliStatus::BadInput;
    case Kind::Refused:
    case Kind::BadReply:
    case Kind::Lacking:
        break;
    }
    return CliStatus::Refused;
}

QString OutcomeText(const SnmpOutcome& outcome)
{
    const QString head = QStringLiteral("%1 %2: ").arg(Verb(outcome), What(outcome));
    switch (outcome.kind) {
    case Kind::Done:
        return {};
    case Kind::NotSent:
        return head + QStringLiteral("the request could not be sent") + AcceptedText(outcome);
    case Kind::NoReply:
        return head + QStringLiteral("no reply in time") + AcceptedText(outcome);
    case Kind::Refused:
        return head + QStringLiteral("the board refused it (%1)").arg(ErrorStatusName(outcome.errorStatus)) +
               AcceptedText(outcome);
    case Kind::BadReply:
        return head + ProblemText(outcome);
    case Kind::Lacking:
        return head + QStringLiteral("the board lacks %1").arg(Named(outcome, outcome.variable));
    case Kind::NoList:
        return head + QStringLiteral("no settings can be written for its mode");
    }
    return {};
}

QList<int> AllGpioPorts()
{
    QList<int> ports;
    for (int port = 1; port <= GpioRules::kPortCount; ++port)
        ports << port;
    return ports;
}
