#include "cli/SnmpBoard.h"

#include "cli/SettingFields.h"
#include "snmpconfig/CSnmpAccess.h"
#include "snmpconfig/GpioSettings.h"
#include "snmpconfig/SnmpStrictRead.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <QList>
#include <QStringList>

#include <memory>
#include <vector>

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

struct PduFreer
{
    void operator()(netsnmp_pdu* pdu) const { snmp_free_pdu(pdu); }
};
using PduPtr = std::unique_ptr<netsnmp_pdu, PduFreer>;

// What became of the requests made while it lives.
class Recorder
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

    // The last request's; one that was never made counts as not sent.
    CSnmpAccess::RequestOutcome Last() const { return m_outcomes.value(m_outcomes.size() - 1); }

  private:
    CSnmpAccess& m_access;
    QList<CSnmpAccess::RequestOutcome> m_outcomes;
};

CliStatus StatusOf(const CSnmpAccess::RequestOutcome& outcome)
{
    if (!outcome.sent || outcome.status == STAT_ERROR)
        return CliStatus::NotSent;
    if (outcome.status == STAT_TIMEOUT)
        return CliStatus::NoReply;
    return CliStatus::Refused;
}

QString Reason(const CSnmpAccess::RequestOutcome& outcome)
{
    if (!outcome.sent || outcome.status == STAT_ERROR)
        return QStringLiteral("the request could not be sent");
    if (outcome.status == STAT_TIMEOUT)
        return QStringLiteral("no reply in time");
    if (outcome.errorStatus != SNMP_ERR_NOERROR)
        return QStringLiteral("the board refused it (%1)").arg(ErrorStatusName(outcome.errorStatus));
    return QStringLiteral("the board's reply could not be read");
}

// What a strict reading found wrong. names[i] names vars[i].
QString ProblemText(const StrictReadProblem& problem, const ExpectedVariable* vars, const QStringList& names)
{
    using Kind = StrictReadProblem::Kind;
    const ExpectedVariable& var = vars[problem.index];
    const QString name =
        QStringLiteral("%1 (%2)").arg(names.value(problem.index), OidText(var.name, var.nameLength));
    switch (problem.kind) {
    case Kind::Missing:
        return QStringLiteral("the reply lacks %1").arg(name);
    case Kind::Repeated:
        return QStringLiteral("the reply has %1 twice").arg(name);
    case Kind::WrongType:
        return QStringLiteral("%1 came back as %2, not %3")
            .arg(name, TypeName(problem.type), TypeName(var.type));
    case Kind::BadValue:
        return QStringLiteral("%1 came back as a malformed %2").arg(name, TypeName(problem.type));
    case Kind::Unrequested:
        return QStringLiteral("the reply has %1, which was not asked for")
            .arg(OidText(problem.name.data(), problem.name.size()));
    case Kind::None:
        break;
    }
    return {};
}

enum class RequestKind
{
    Get,
    Set,
};

// One GET or SET of vars, with its reply; "reading WHAT: reason" or "writing WHAT: reason" when
// it fails.
CliStatus Request(CSnmpAccess& access, const std::string& peer, RequestKind kind,
                  const ExpectedVariable* vars, size_t count, const QString& what, PduPtr& reply,
                  QString& message)
{
    const Recorder recorder(access);
    int status = 0;
    netsnmp_pdu* raw = nullptr;
    const int sent = kind == RequestKind::Get ? access.GetVariables(peer.c_str(), vars, count, status, raw)
                                              : access.SetVariables(peer.c_str(), vars, count, status, raw);
    reply.reset(sent ? raw : nullptr);
    const CSnmpAccess::RequestOutcome outcome = recorder.Last();
    if (outcome.succeeded)
        return CliStatus::Done;
    message = QStringLiteral("%1 %2: %3")
                  .arg(kind == RequestKind::Get ? QStringLiteral("reading") : QStringLiteral("writing"), what,
                       Reason(outcome));
    return StatusOf(outcome);
}

// A GET of vars, read strictly. A variable the board lacks fails the read, unless absent is given:
// absent[i] then says whether vars[i] is lacking.
CliStatus Read(CSnmpAccess& access, const std::string& peer, const ExpectedVariable* vars, size_t count,
               const QStringList& names, const QString& what, QString& message, bool* absent = nullptr)
{
    PduPtr reply;
    if (const CliStatus status = Request(access, peer, RequestKind::Get, vars, count, what, reply, message);
        status != CliStatus::Done)
        return status;
    const auto lacking = std::make_unique<bool[]>(count);
    StrictReadProblem problem;
    if (!ReadReplyStrictly(*reply, vars, count, lacking.get(), problem)) {
        message = QStringLiteral("reading %1: %2").arg(what, ProblemText(problem, vars, names));
        return CliStatus::Refused;
    }
    for (size_t i = 0; i < count; ++i) {
        if (lacking[i] && !absent) {
            message = QStringLiteral("reading %1: the board lacks %2 (%3)")
                          .arg(what, names.value(i), OidText(vars[i].name, vars[i].nameLength));
            return CliStatus::Refused;
        }
        if (absent)
            absent[i] = lacking[i];
    }
    return CliStatus::Done;
}

CliStatus Write(CSnmpAccess& access, const std::string& peer, const ExpectedVariable* vars, size_t count,
                const QString& what, QString& message)
{
    PduPtr reply;
    return Request(access, peer, RequestKind::Set, vars, count, what, reply, message);
}

CliStatus Commit(CSnmpAccess& access, const std::string& peer, const QString& what, QString& message)
{
    const Recorder recorder(access);
    if (access.Commit(peer.c_str()))
        return CliStatus::Done;
    message = QStringLiteral("committing %1: %2").arg(what, Reason(recorder.Last()));
    return StatusOf(recorder.Last());
}

QStringList SerialNames(const SerialSettings& settings, const ExpectedVariable* vars, size_t count)
{
    QStringList names;
    for (size_t i = 0; i < count; ++i)
        names << QStringLiteral("serial ") + SerialKeyAt(settings, vars[i].field);
    return names;
}

QStringList GpioNames(int port, const GpioSettings& settings, const ExpectedVariable* vars, size_t count)
{
    QStringList names;
    for (size_t i = 0; i < count; ++i) {
        const QString key = GpioKeyAt(settings, vars[i].field);
        names << (FindField(GpioNodeFields(), key) ? QStringLiteral("I/O %1").arg(key)
                                                   : QStringLiteral("I/O port %1 %2").arg(port).arg(key));
    }
    return names;
}

QString PortText(int port)
{
    return QStringLiteral("I/O port %1").arg(port);
}

} // namespace

SnmpBoard::SnmpBoard(CSnmpAccess& access, const QString& address)
    : m_access(access), m_address(address), m_peer(address.toStdString())
{
}

CliStatus SnmpBoard::ReadSerial(BoardSerial& serial, QString& message)
{
    const auto vars = CSnmpAccess::SerialVariables(serial.settings);
    const QStringList names = SerialNames(serial.settings, vars.data(), vars.size());
    // The seven settings, then the port number alone, as the serial settings dialog asks for them.
    constexpr size_t seven = CSnmpAccess::kSerialPortIndex;
    if (const CliStatus status =
            Read(m_access, m_peer, vars.data(), seven, names, QStringLiteral("serial settings"), message);
        status != CliStatus::Done)
        return status;
    bool lacksPort = false;
    const CliStatus status = Read(m_access, m_peer, &vars[seven], 1, names.mid(seven),
                                  QStringLiteral("serial port number"), message, &lacksPort);
    serial.hasPort = !lacksPort;
    return status;
}

CliStatus SnmpBoard::WriteSerial(const BoardSerial& serial, QString& message)
{
    SerialSettings sent = serial.settings;
    const auto vars = CSnmpAccess::SerialVariables(sent);
    constexpr size_t seven = CSnmpAccess::kSerialPortIndex;
    if (const CliStatus status =
            Write(m_access, m_peer, vars.data(), seven, QStringLiteral("serial settings"), message);
        status != CliStatus::Done)
        return status;
    if (serial.hasPort) {
        if (const CliStatus status =
                Write(m_access, m_peer, &vars[seven], 1, QStringLiteral("serial port number"), message);
            status != CliStatus::Done) {
            message += QStringLiteral("; the other serial settings had been accepted, nothing was committed");
            return status;
        }
    }
    const CliStatus status = Commit(m_access, m_peer, QStringLiteral("serial settings"), message);
    if (status != CliStatus::Done)
        message += QStringLiteral("; the settings had been accepted");
    return status;
}

CliStatus SnmpBoard::ReadGpio(int port, GpioSettings& settings, QString& message)
{
    const auto vars = m_access.GpioVariables(port, settings);
    return Read(m_access, m_peer, vars.data(), vars.size(),
                GpioNames(port, settings, vars.data(), vars.size()), PortText(port), message);
}

CliStatus SnmpBoard::WriteGpio(int port, const GpioSettings& settings, QString& message)
{
    GpioSettings sent = settings;
    const auto vars = m_access.GpioVariables(port, sent);
    std::vector<ExpectedVariable> written;
    for (const size_t i : CSnmpAccess::GpioWrittenVariables(sent.mode))
        written.push_back(vars[i]);
    if (written.empty()) {
        message = QStringLiteral("writing %1: no settings can be written for its mode").arg(PortText(port));
        return CliStatus::BadInput;
    }
    if (const CliStatus status =
            Write(m_access, m_peer, written.data(), written.size(), PortText(port), message);
        status != CliStatus::Done)
        return status;
    const CliStatus status = Commit(m_access, m_peer, PortText(port), message);
    if (status != CliStatus::Done)
        message += QStringLiteral("; its settings had been accepted");
    return status;
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
