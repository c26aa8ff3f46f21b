#pragma once

#include "tests/support/SimProcess.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// One variable as the simulator's SNMP agent logged it.
struct Logged
{
    std::string op;
    std::string board;
    std::string name; // relative to 1.3.6.1.4.1.32473.1.4
    std::string type;
    QJsonValue value;
    qint64 request = 0;
};

// The SNMP entries of the simulator's log from entry `mark` (counted among SNMP entries) on.
inline std::vector<Logged> SnmpLogSince(const SimProcess& sim, size_t mark = 0)
{
    static const std::string prefix = "1.3.6.1.4.1.32473.1.4.";
    std::vector<Logged> out;
    size_t index = 0;
    for (const QJsonObject& e : sim.LogEntries()) {
        if (e.value(QStringLiteral("proto")).toString() != QStringLiteral("snmp") || index++ < mark)
            continue;
        std::string name = e.value(QStringLiteral("oid")).toString().toStdString();
        if (name.rfind(prefix, 0) == 0)
            name = name.substr(prefix.size());
        out.push_back({e.value(QStringLiteral("snmp")).toString().toStdString(),
                       e.value(QStringLiteral("board")).toString().toStdString(), name,
                       e.value(QStringLiteral("type")).toString().toStdString(),
                       e.value(QStringLiteral("value")), e.value(QStringLiteral("request")).toInteger()});
    }
    return out;
}

inline size_t SnmpLogSize(const SimProcess& sim)
{
    return SnmpLogSince(sim).size();
}

// A board of the simulator's configuration at address 127.0.0.<last> with the given "snmp" object.
inline QJsonObject Board(int last, const QJsonObject& snmp = {})
{
    char mac[18];
    std::snprintf(mac, sizeof mac, "02:4c:46:00:53:%02x", last);
    QJsonObject board{{QStringLiteral("mac"), QString::fromLatin1(mac)},
                      {QStringLiteral("ip"), QStringLiteral("127.0.0.%1").arg(last)},
                      {QStringLiteral("mask"), QStringLiteral("255.0.0.0")}};
    if (!snmp.isEmpty())
        board.insert(QStringLiteral("snmp"), snmp);
    return board;
}

// Starts the simulator with these boards and no other; false when it did not come up.
inline bool StartSimulator(SimProcess& sim, const QJsonArray& boards)
{
    const QString config = sim.WriteConfig(QJsonObject{{QStringLiteral("boards"), boards}});
    return !config.isEmpty() && sim.Start({QStringLiteral("--config"), config});
}

inline uint32_t NetworkOrder(unsigned a, unsigned b, unsigned c, unsigned d)
{
    const unsigned char bytes[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                    static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
    uint32_t value = 0;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}
