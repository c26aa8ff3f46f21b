#pragma once

#include <array>
#include <cstdint>

// What an operator may write to a board's serial and I/O settings: the lists the settings dialogs
// offer and the ranges they check, for every front end. GUI-free; the enumerated settings travel
// as positions in these lists.

namespace SerialRules {

constexpr int32_t kMinPortNumber = 1024;
constexpr int32_t kMaxPortNumber = 65535;
// What the port number reads as on a board that has none.
constexpr int32_t kDefaultPortNumber = 21347;

// The bit-rate list, top to bottom; a bit rate is written as the number itself.
constexpr std::array<int32_t, 11> kBitRates = {600,   1200,  1800,  2400,   4800,  9600,
                                               19200, 38400, 57600, 115200, 230400};

constexpr bool IsListedBitRate(int64_t bitRate)
{
    for (const int32_t listed : kBitRates) {
        if (listed == bitRate)
            return true;
    }
    return false;
}

// Number of items in each enumerated list.
constexpr int kConnectionModes = 3; // TCPSERVER, TCPCLIENT, UDP
constexpr int kDataLengths = 4;     // 5, 6, 7, 8 bits
constexpr int kStopBits = 2;        // 1, 2 bits
constexpr int kParities = 3;        // none, odd, even
constexpr int kFlowControls = 2;    // none, hardware

} // namespace SerialRules

namespace GpioRules {

constexpr int kPortCount = 8;
constexpr int32_t kOutput = 0;
constexpr int32_t kInput = 1;
constexpr int kLevels = 2; // LOW, HIGH: state, initial state and trap state

constexpr uint32_t kMinPeriod = 10; // status-check period in ms
constexpr uint32_t kMaxPeriod = 1000;
constexpr uint32_t kMaxTrapTime = 604800000; // one week in ms
// An INPUT port takes a trap time of 0 (no trap) or at least this many ms.
constexpr uint32_t kMinInputTrapTime = 30;

constexpr bool IsAllowedTrapTime(int32_t mode, uint32_t trapTime)
{
    return trapTime <= kMaxTrapTime && !(mode == kInput && trapTime > 0 && trapTime < kMinInputTrapTime);
}

} // namespace GpioRules
