#pragma once

#include "core/SettingRules.h"

#include <cstdint>

// A board's serial-port server settings as they travel over SNMP. The enumerated fields hold
// the position of the item in the dialog's list; -1 stands for "no selection".
struct SerialSettings
{
    int32_t connectionMode = 0; // 0 TCPSERVER, 1 TCPCLIENT, 2 UDP
    int32_t peerAddress = 0;    // network byte order
    int32_t bitRate = 9600;
    int32_t dataLength = 3;  // 0 = 5 bits .. 3 = 8 bits
    int32_t stopBits = 0;    // 0 = 1 bit, 1 = 2 bits
    int32_t parity = 0;      // 0 none, 1 odd, 2 even
    int32_t flowControl = 0; // 0 none, 1 hardware
    int32_t portNumber = SerialRules::kDefaultPortNumber;
};
