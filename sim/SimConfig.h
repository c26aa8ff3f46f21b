#pragma once

#include "sim/SimBoard.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <vector>

// Builds the board list from a JSON configuration and from --boards. Failures come back as false
// with a message for stderr; nothing is appended then.
class SimConfig
{
  public:
    static constexpr std::size_t kMaxGenerated = 1000000;
    static constexpr int kMaxSnmpDelayMs = 60000; // delayMs, jitterMs, --snmp-delay, --snmp-jitter

    static bool LoadFile(const QString& path, std::vector<SimBoard>& boards, QString& error);
    static bool Parse(const QByteArray& json, std::vector<SimBoard>& boards, QString& error);

    // Board k: MAC 02:4c:46 followed by k in three bytes, address 127.0.0.2 + k, mask 255.0.0.0.
    static bool AppendGenerated(std::size_t count, std::vector<SimBoard>& boards, QString& error);
};
