#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

// lanfinch-sim's command line.
struct SimOptions
{
    std::size_t generatedBoards = 0;
    QString configPath;
    uint32_t bindAddress = 0; // host order
    uint16_t bindPort = 22222;
    uint16_t snmpPort = 161;
    bool noSnmp = false;
    bool replyBroadcast = false;
    int snmpDelayMs = 0; // for boards whose "snmp" object has no delayMs / jitterMs
    int snmpJitterMs = 0;
    QString logPath;
    bool help = false;

    // arguments without the program name; "--opt value" and "--opt=value" both work.
    static bool Parse(const QStringList& arguments, SimOptions& options, QString& error);
    static QString HelpText();
};
