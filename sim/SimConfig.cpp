#include "sim/SimConfig.h"

#include "sim/SimText.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <cmath>

namespace {

constexpr int kMaxReplyDelayMs = 600000;

bool ReadUInt32(const QJsonValue& value, uint32_t& out)
{
    if (value.isBool()) {
        out = value.toBool() ? 1 : 0;
        return true;
    }
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (number < 0 || number > 4294967295.0 || std::floor(number) != number)
        return false;
    out = static_cast<uint32_t>(number);
    return true;
}

bool ReadAddress(const QJsonObject& object, const QString& key, uint32_t& out, QString& error)
{
    const QJsonValue value = object.value(key);
    if (!value.isString() || !SimText::ParseIpv4(value.toString(), out)) {
        error = QStringLiteral("\"%1\" must be a dotted IPv4 address").arg(key);
        return false;
    }
    return true;
}

// An optional true or false; false when absent.
bool ReadFlag(const QJsonObject& object, const QString& key, bool& out, QString& error)
{
    const QJsonValue value = object.value(key);
    if (!value.isUndefined() && !value.isBool()) {
        error = QStringLiteral("\"%1\" must be true or false").arg(key);
        return false;
    }
    out = value.toBool(false);
    return true;
}

// An optional delay of the node protocol in milliseconds; out is left as it is when absent.
bool ReadDelay(const QJsonObject& object, const QString& key, int& out, QString& error)
{
    if (!object.contains(key))
        return true;
    uint32_t delay = 0;
    if (!ReadUInt32(object.value(key), delay) || delay > static_cast<uint32_t>(kMaxReplyDelayMs)) {
        error = QStringLiteral("\"%1\" must be 0 to %2").arg(key).arg(kMaxReplyDelayMs);
        return false;
    }
    out = static_cast<int>(delay);
    return true;
}

// The agent's latency is read here rather than in the agent, so that a bad value stops the start
// with the board's number, --no-snmp or not.
bool ReadSnmpLatency(const QJsonObject& snmp, const char* key, std::optional<int>& out, QString& error)
{
    const QJsonValue value = snmp.value(QLatin1String(key));
    if (value.isUndefined())
        return true;
    uint32_t number = 0;
    if (value.isBool() || !ReadUInt32(value, number) || number > uint32_t(SimConfig::kMaxSnmpDelayMs)) {
        error = QStringLiteral("\"snmp\": \"%1\" must be a whole number of milliseconds, 0 to %2")
                    .arg(QLatin1String(key))
                    .arg(SimConfig::kMaxSnmpDelayMs);
        return false;
    }
    out = static_cast<int>(number);
    return true;
}

bool ParseBoard(const QJsonObject& object, SimBoard& board, QString& error)
{
    static const QSet<QString> known = {
        QStringLiteral("mac"),
        QStringLiteral("dhcp"),
        QStringLiteral("ip"),
        QStringLiteral("mask"),
        QStringLiteral("gateway"),
        QStringLiteral("silent"),
        QStringLiteral("replyDelayMs"),
        QStringLiteral("answerTwice"),
        QStringLiteral("setAddressResult"),
        QStringLiteral("replyMac"),
        QStringLiteral("dhcpWire"),
        QStringLiteral("snmp"),
        QStringLiteral("setAddressDelayMs"),
        QStringLiteral("ignoreSetAddress"),
        QStringLiteral("keepSettings"),
        QStringLiteral("replyBroadcast"),
        QStringLiteral("appearAfterMs"),
    };
    // A misspelt fault would otherwise pass silently and make a test prove nothing.
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!known.contains(it.key())) {
            error = QStringLiteral("unknown key \"%1\"").arg(it.key());
            return false;
        }
    }

    const QJsonValue mac = object.value(QStringLiteral("mac"));
    if (!mac.isString() || !SimText::ParseMac(mac.toString(), board.mac)) {
        error = QStringLiteral("\"mac\" must be a MAC address like 00:0a:ff:10:20:3b");
        return false;
    }
    if (!ReadAddress(object, QStringLiteral("ip"), board.ip, error))
        return false;

    board.mask = (board.ip >> 24) == 127 ? 0xff000000u : 0xffffff00u;
    if (object.contains(QStringLiteral("mask")) &&
        !ReadAddress(object, QStringLiteral("mask"), board.mask, error))
        return false;
    board.gateway = 0;
    if (object.contains(QStringLiteral("gateway")) &&
        !ReadAddress(object, QStringLiteral("gateway"), board.gateway, error))
        return false;

    uint32_t dhcp = 0;
    if (object.contains(QStringLiteral("dhcp")) && !ReadUInt32(object.value(QStringLiteral("dhcp")), dhcp)) {
        error = QStringLiteral("\"dhcp\" must be an unsigned 32-bit number");
        return false;
    }
    // The tool writes its flag least significant byte first; a board that echoes it does the same.
    board.dhcp = {static_cast<uint8_t>(dhcp), static_cast<uint8_t>(dhcp >> 8),
                  static_cast<uint8_t>(dhcp >> 16), static_cast<uint8_t>(dhcp >> 24)};
    const QJsonValue dhcpWire = object.value(QStringLiteral("dhcpWire"));
    if (!dhcpWire.isUndefined() && !(dhcpWire.isString() && dhcpWire.toString().isEmpty())) {
        const QByteArray hex = dhcpWire.toString().toLatin1();
        const QByteArray bytes = QByteArray::fromHex(hex);
        if (!dhcpWire.isString() || hex.size() != 8 || bytes.size() != 4 || bytes.toHex() != hex.toLower()) {
            error = QStringLiteral("\"dhcpWire\" must be 8 hexadecimal digits");
            return false;
        }
        for (std::size_t i = 0; i < 4; ++i)
            board.dhcp[i] = static_cast<uint8_t>(bytes.at(static_cast<qsizetype>(i)));
    }

    const QJsonValue silent = object.value(QStringLiteral("silent"));
    const QJsonValue twice = object.value(QStringLiteral("answerTwice"));
    const QJsonValue broadcast = object.value(QStringLiteral("replyBroadcast"));
    if ((!silent.isUndefined() && !silent.isBool()) || (!twice.isUndefined() && !twice.isBool()) ||
        (!broadcast.isUndefined() && !broadcast.isBool())) {
        error = QStringLiteral("\"silent\", \"answerTwice\" and \"replyBroadcast\" must be true or false");
        return false;
    }
    board.silent = silent.toBool(false);
    board.answerTwice = twice.toBool(false);
    board.replyBroadcast = broadcast.toBool(false);

    board.replyDelayMs = 0;
    if (!ReadDelay(object, QStringLiteral("replyDelayMs"), board.replyDelayMs, error) ||
        !ReadDelay(object, QStringLiteral("appearAfterMs"), board.appearAfterMs, error))
        return false;
    board.setAddressDelayMs = board.replyDelayMs;
    if (!ReadDelay(object, QStringLiteral("setAddressDelayMs"), board.setAddressDelayMs, error) ||
        !ReadFlag(object, QStringLiteral("ignoreSetAddress"), board.ignoreSetAddress, error) ||
        !ReadFlag(object, QStringLiteral("keepSettings"), board.keepSettings, error))
        return false;

    if (object.contains(QStringLiteral("setAddressResult")) &&
        !ReadUInt32(object.value(QStringLiteral("setAddressResult")), board.setAddressResult)) {
        error = QStringLiteral("\"setAddressResult\" must be an unsigned 32-bit number");
        return false;
    }

    const QJsonValue replyMac = object.value(QStringLiteral("replyMac"));
    if (!replyMac.isUndefined() && !(replyMac.isString() && replyMac.toString().isEmpty())) {
        std::array<uint8_t, 6> other{};
        if (!replyMac.isString() || !SimText::ParseMac(replyMac.toString(), other)) {
            error = QStringLiteral("\"replyMac\" must be empty or a MAC address");
            return false;
        }
        board.replyMac = other;
    }

    const QJsonValue snmp = object.value(QStringLiteral("snmp"));
    if (!snmp.isUndefined() && !snmp.isObject()) {
        error = QStringLiteral("\"snmp\" must be an object");
        return false;
    }
    board.snmp = snmp.toObject();
    return ReadSnmpLatency(board.snmp, "delayMs", board.snmpDelayMs, error) &&
           ReadSnmpLatency(board.snmp, "jitterMs", board.snmpJitterMs, error);
}

} // namespace

bool SimConfig::LoadFile(const QString& path, std::vector<SimBoard>& boards, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    if (!Parse(file.readAll(), boards, error)) {
        error = QStringLiteral("%1: %2").arg(path, error);
        return false;
    }
    return true;
}

bool SimConfig::Parse(const QByteArray& json, std::vector<SimBoard>& boards, QString& error)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = QStringLiteral("offset %1: %2").arg(parseError.offset).arg(parseError.errorString());
        return false;
    }
    const QJsonObject root = document.object();
    if (!document.isObject() || !root.value(QStringLiteral("boards")).isArray() || root.size() != 1) {
        error = QStringLiteral("expected an object with the one key \"boards\" holding an array");
        return false;
    }

    std::vector<SimBoard> parsed;
    const QJsonArray array = root.value(QStringLiteral("boards")).toArray();
    for (qsizetype i = 0; i < array.size(); ++i) {
        SimBoard board;
        if (!array.at(i).isObject()) {
            error = QStringLiteral("board %1: not an object").arg(i);
            return false;
        }
        if (!ParseBoard(array.at(i).toObject(), board, error)) {
            error = QStringLiteral("board %1: %2").arg(i).arg(error);
            return false;
        }
        parsed.push_back(std::move(board));
    }
    boards.insert(boards.end(), std::make_move_iterator(parsed.begin()),
                  std::make_move_iterator(parsed.end()));
    return true;
}

bool SimConfig::AppendGenerated(std::size_t count, std::vector<SimBoard>& boards, QString& error)
{
    if (count > kMaxGenerated) {
        error = QStringLiteral("at most %1 generated boards").arg(kMaxGenerated);
        return false;
    }
    boards.reserve(boards.size() + count);
    for (std::size_t k = 0; k < count; ++k) {
        SimBoard board;
        board.mac = {0x02,
                     0x4c,
                     0x46,
                     static_cast<uint8_t>(k >> 16),
                     static_cast<uint8_t>(k >> 8),
                     static_cast<uint8_t>(k)};
        board.ip = 0x7f000002u + static_cast<uint32_t>(k);
        board.mask = 0xff000000u;
        boards.push_back(std::move(board));
    }
    return true;
}
