#include "cli/SnmpBoard.h"

#include "snmpconfig/CSnmpAccess.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <QList>

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

} // namespace

// Collects what became of each request of one operation, in order.
class SnmpBoard::Recorder
{
  public:
    explicit Recorder(CSnmpAccess& access) : m_access(access)
    {
        m_access.SetRequestObserver(
            [this](const CSnmpAccess::RequestOutcome& outcome) { m_outcomes << outcome; });
    }
    ~Recorder() { m_access.SetRequestObserver(nullptr); }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // The outcome of a read or write operation that returned `result`. The first request of an
    // operation decides its outcome, as it does in CSnmpAccess; a write also needs its commit,
    // the last request.
    CliStatus Outcome(int result, bool write, const QString& what, QString& message) const
    {
        if (result == 1 && (!write || m_outcomes.value(m_outcomes.size() - 1).succeeded))
            return CliStatus::Done;
        if (result == 1) {
            message = QStringLiteral("%1 written, but the commit failed: %2")
                          .arg(what, Reason(m_outcomes.value(m_outcomes.size() - 1)));
            return StatusOf(m_outcomes.value(m_outcomes.size() - 1));
        }
        if (m_outcomes.isEmpty()) {
            message = QStringLiteral("%1: nothing could be sent").arg(what);
            return CliStatus::NotSent;
        }
        const CSnmpAccess::RequestOutcome& first = m_outcomes.first();
        message =
            QStringLiteral("%1 %2: %3")
                .arg(write ? QStringLiteral("writing") : QStringLiteral("reading"), what, Reason(first));
        return StatusOf(first);
    }

  private:
    static CliStatus StatusOf(const CSnmpAccess::RequestOutcome& outcome)
    {
        if (!outcome.sent || outcome.status == STAT_ERROR)
            return CliStatus::NotSent;
        if (outcome.status == STAT_TIMEOUT)
            return CliStatus::NoReply;
        return CliStatus::Refused;
    }

    static QString Reason(const CSnmpAccess::RequestOutcome& outcome)
    {
        if (!outcome.sent || outcome.status == STAT_ERROR)
            return QStringLiteral("the request could not be sent");
        if (outcome.status == STAT_TIMEOUT)
            return QStringLiteral("no reply in time");
        if (outcome.errorStatus != SNMP_ERR_NOERROR)
            return QStringLiteral("the board refused it (%1)").arg(ErrorStatusName(outcome.errorStatus));
        return QStringLiteral("the board's reply could not be read");
    }

    CSnmpAccess& m_access;
    QList<CSnmpAccess::RequestOutcome> m_outcomes;
};

SnmpBoard::SnmpBoard(CSnmpAccess& access, const QString& address)
    : m_access(access), m_address(address), m_peer(address.toStdString())
{
}

CliStatus SnmpBoard::ReadSerial(SerialSettings& settings, QString& message)
{
    const Recorder recorder(m_access);
    return recorder.Outcome(m_access.GetSerialSettings(m_peer.c_str(), settings), false,
                            QStringLiteral("serial settings"), message);
}

CliStatus SnmpBoard::WriteSerial(const SerialSettings& settings, QString& message)
{
    const Recorder recorder(m_access);
    return recorder.Outcome(m_access.SetSerialSettings(m_peer.c_str(), settings), true,
                            QStringLiteral("serial settings"), message);
}

CliStatus SnmpBoard::ReadGpio(int port, GpioSettings& settings, QString& message)
{
    const Recorder recorder(m_access);
    return recorder.Outcome(m_access.GetGpioSettings(m_peer.c_str(), port, settings), false,
                            QStringLiteral("I/O port %1").arg(port), message);
}

CliStatus SnmpBoard::WriteGpio(int port, const GpioSettings& settings, QString& message)
{
    const Recorder recorder(m_access);
    return recorder.Outcome(m_access.SetGpioSettings(m_peer.c_str(), port, settings), true,
                            QStringLiteral("I/O port %1").arg(port), message);
}

CliStatus SnmpBoard::ReadGpioPorts(const QList<int>& ports, QList<std::pair<int, GpioSettings>>& read,
                                   QString& message)
{
    for (const int port : ports) {
        GpioSettings settings;
        if (const CliStatus status = ReadGpio(port, settings, message); status != CliStatus::Done)
            return status;
        read.append({port, settings});
    }
    return CliStatus::Done;
}

QList<int> AllGpioPorts()
{
    QList<int> ports;
    for (int port = 1; port <= GpioRules::kPortCount; ++port)
        ports << port;
    return ports;
}
