#include "sim/SimOptions.h"

#include "sim/SimConfig.h"
#include "sim/SimText.h"

namespace {

bool ParseNumber(const QString& text, qulonglong maximum, qulonglong& value)
{
    bool ok = false;
    value = text.toULongLong(&ok, 10);
    return ok && !text.startsWith(QLatin1Char('+')) && value <= maximum;
}

} // namespace

bool SimOptions::Parse(const QStringList& arguments, SimOptions& options, QString& error)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        QString value;
        bool hasValue = false;
        const qsizetype equals = name.indexOf(QLatin1Char('='));
        if (name.startsWith(QLatin1String("--")) && equals > 0) {
            value = name.mid(equals + 1);
            name.truncate(equals);
            hasValue = true;
        }
        const auto takeValue = [&]() {
            if (hasValue)
                return true;
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("%1 needs a value").arg(name);
                return false;
            }
            value = arguments.at(++i);
            return true;
        };

        qulonglong number = 0;
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            options.help = true;
        } else if (name == QLatin1String("--no-snmp") && !hasValue) {
            options.noSnmp = true;
        } else if (name == QLatin1String("--reply-broadcast") && !hasValue) {
            options.replyBroadcast = true;
        } else if (name == QLatin1String("--boards")) {
            if (!takeValue())
                return false;
            if (!ParseNumber(value, SimConfig::kMaxGenerated, number)) {
                error = QStringLiteral("--boards: expected 0 to %1").arg(SimConfig::kMaxGenerated);
                return false;
            }
            options.generatedBoards = static_cast<std::size_t>(number);
        } else if (name == QLatin1String("--config")) {
            if (!takeValue())
                return false;
            options.configPath = value;
        } else if (name == QLatin1String("--log")) {
            if (!takeValue())
                return false;
            options.logPath = value;
        } else if (name == QLatin1String("--snmp-port")) {
            if (!takeValue())
                return false;
            if (!ParseNumber(value, 65535, number)) {
                error = QStringLiteral("--snmp-port: expected 0 to 65535");
                return false;
            }
            options.snmpPort = static_cast<uint16_t>(number);
        } else if (name == QLatin1String("--snmp-delay") || name == QLatin1String("--snmp-jitter")) {
            if (!takeValue())
                return false;
            if (!ParseNumber(value, SimConfig::kMaxSnmpDelayMs, number)) {
                error = QStringLiteral("%1: expected 0 to %2 (milliseconds)")
                            .arg(name)
                            .arg(SimConfig::kMaxSnmpDelayMs);
                return false;
            }
            (name == QLatin1String("--snmp-delay") ? options.snmpDelayMs : options.snmpJitterMs) =
                static_cast<int>(number);
        } else if (name == QLatin1String("--bind")) {
            if (!takeValue())
                return false;
            const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
            if (colon <= 0 || !SimText::ParseIpv4(value.left(colon), options.bindAddress) ||
                !ParseNumber(value.mid(colon + 1), 65535, number)) {
                error = QStringLiteral("--bind: expected ADDR:PORT, e.g. 127.0.0.1:0");
                return false;
            }
            options.bindPort = static_cast<uint16_t>(number);
        } else {
            error = QStringLiteral("unknown argument \"%1\" (see --help)").arg(arguments.at(i));
            return false;
        }
    }
    return true;
}

QString SimOptions::HelpText()
{
    return QStringLiteral(
        "Usage: lanfinch-sim [OPTIONS]\n"
        "Simulates boards on the node search and addressing protocol (UDP) and, in a child process,\n"
        "their SNMP agents. One process serves every board. A board that takes new IP settings answers\n"
        "both protocols at its new address from then on.\n"
        "\n"
        "Options:\n"
        "  --boards N          add N generated boards: MAC 02:4c:46:xx:xx:xx (xx = the board's number),\n"
        "                      addresses 127.0.0.2, 127.0.0.3, ... (carrying on into 127.0.1.0, ...),\n"
        "                      mask 255.0.0.0, no gateway, DHCP 0. At most 1000000.\n"
        "  --config FILE.json  boards from a file (listed before generated ones), see below.\n"
        "  --bind ADDR:PORT    UDP address of the node protocol (default 0.0.0.0:22222; port 0 = any).\n"
        "  --snmp-port P       UDP port of every board's SNMP agent (default 161; 0 = a port that is\n"
        "                      free on every board's address).\n"
        "  --snmp-delay MS     every SNMP reply leaves MS milliseconds after its request came in\n"
        "                      (default 0; at most 60000). Other boards answer meanwhile.\n"
        "  --snmp-jitter MS    adds a uniformly random 0 to MS milliseconds to each SNMP reply\n"
        "                      (default 0; at most 60000); a board's replies keep their order.\n"
        "                      Both are defaults: a board's \"snmp\" keys delayMs and jitterMs win.\n"
        "  --no-snmp           start no SNMP agent.\n"
        "  --reply-broadcast   every board answers by IP broadcast (255.255.255.255, at the\n"
        "                      requester's port) instead of to the requester, as some small IP\n"
        "                      stacks do; see replyBroadcast for single boards.\n"
        "  --log FILE          append one JSON line per datagram in and out (the SNMP agent appends\n"
        "                      its own, \"proto\":\"snmp\", see sim/snmp/README.md). Fields: proto,\n"
        "                      dir (in/out), peer, len, op, tid (hex of the 4 bytes), mac, dhcp (hex\n"
        "                      of the 4 bytes), ip, mask, gateway, result, board and src (replies),\n"
        "                      ignored (size/op), error, t (monotonic ms).\n"
        "  -h, --help          show this text.\n"
        "\n"
        "When every socket is bound and the SNMP agent is ready, prints one line and nothing more:\n"
        "  lanfinch-sim ready udp=ADDR:PORT snmp=PORT boards=N\n"
        "SIGINT or SIGTERM stops it (exit 0). Errors go to stderr with a nonzero exit.\n"
        "\n"
        "Configuration file:\n"
        "  {\"boards\": [{\"mac\": \"00:0a:ff:10:20:3b\", \"ip\": \"127.0.0.2\", ...}, ...]}\n"
        "  mac, ip           required\n"
        "  dhcp              number, sent least significant byte first (default 0)\n"
        "  dhcpWire          8 hex digits: the DHCP flag's raw bytes, overriding dhcp\n"
        "  mask              default 255.0.0.0 in 127/8, else 255.255.255.0\n"
        "  gateway           default 0.0.0.0\n"
        "  silent            true: never answers the node protocol\n"
        "  appearAfterMs     answers nothing, neither the node protocol nor SNMP, until this many\n"
        "                    milliseconds after the simulator started (a board plugged in later)\n"
        "  replyDelayMs      answers after this delay (other boards go on answering meanwhile)\n"
        "  setAddressDelayMs delay of its set-address replies only (default: replyDelayMs)\n"
        "  ignoreSetAddress  true: answers searches but never a set-address request\n"
        "  keepSettings      true: answers set-address requests with success and the new settings,\n"
        "                    but keeps its own\n"
        "  answerTwice       answers every search twice; the second reply carries ip + 1\n"
        "  replyBroadcast    true: answers to 255.255.255.255 at the requester's port\n"
        "  setAddressResult  result of its set-address replies; nonzero: settings not applied\n"
        "  replyMac          MAC carried by its set-address replies instead of its own\n"
        "  snmp              object handed to the SNMP agent (faults, values, delayMs, jitterMs;\n"
        "                    see sim/snmp/README.md)\n"
        "Unknown keys are an error.\n");
}
