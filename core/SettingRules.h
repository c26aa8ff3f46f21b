#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// What an operator may write to a board's serial and I/O settings: the lists the settings dialogs
// offer (their items as the dialogs show them, and the names lanfinch-cli reads and prints) and
// the ranges they check, for every front end. GUI-free; an enumerated setting travels as the
// position of its item in these lists. SettingsSchema.h builds the settings from them.

namespace SettingRules {

// Whole decimal text at compile time, for lists whose items are numbers.
constexpr int32_t DecimalValue(const char* text)
{
    int32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value * 10 + (*text - '0');
    return value;
}

template <std::size_t N> constexpr std::array<int32_t, N> DecimalValues(const char* const (&texts)[N])
{
    std::array<int32_t, N> values{};
    for (std::size_t i = 0; i < N; ++i)
        values[i] = DecimalValue(texts[i]);
    return values;
}

} // namespace SettingRules

namespace SerialRules {

constexpr int32_t kMinPortNumber = 1024;
constexpr int32_t kMaxPortNumber = 65535;
// What the port number reads as on a board that has none.
constexpr int32_t kDefaultPortNumber = 21347;

// The dialog's lists, top to bottom (UTF-8), and lanfinch-cli's names for the same items.
inline constexpr const char* kConnectionModeItems[] = {"TCPSERVER", "TCPCLIENT", "UDP"};
inline constexpr const char* kConnectionModeNames[] = {"TCPSERVER", "TCPCLIENT", "UDP"};
inline constexpr const char* kBitRateItems[] = {"600",   "1200",  "1800",  "2400",   "4800",  "9600",
                                                "19200", "38400", "57600", "115200", "230400"};
inline constexpr const char* kDataLengthItems[] = {"5ﾋﾞｯﾄ", "6ﾋﾞｯﾄ", "7ﾋﾞｯﾄ", "8ﾋﾞｯﾄ"};
inline constexpr const char* kDataLengthNames[] = {"5", "6", "7", "8"};
inline constexpr const char* kStopBitItems[] = {"1ﾋﾞｯﾄ", "2ﾋﾞｯﾄ"};
inline constexpr const char* kStopBitNames[] = {"1", "2"};
inline constexpr const char* kParityItems[] = {"なし", "奇数", "偶数"};
inline constexpr const char* kParityNames[] = {"none", "odd", "even"};
inline constexpr const char* kFlowControlItems[] = {"なし", "ﾊｰﾄﾞｳｪｱ"};
inline constexpr const char* kFlowControlNames[] = {"none", "hardware"};

// A bit rate is written as the number itself, not as its position.
inline constexpr auto kBitRates = SettingRules::DecimalValues(kBitRateItems);

constexpr bool IsListedBitRate(int64_t bitRate)
{
    for (const int32_t listed : kBitRates) {
        if (listed == bitRate)
            return true;
    }
    return false;
}

// Number of items in each enumerated list.
constexpr int kConnectionModes = static_cast<int>(std::size(kConnectionModeItems));
constexpr int kDataLengths = static_cast<int>(std::size(kDataLengthItems));
constexpr int kStopBits = static_cast<int>(std::size(kStopBitItems));
constexpr int kParities = static_cast<int>(std::size(kParityItems));
constexpr int kFlowControls = static_cast<int>(std::size(kFlowControlItems));

} // namespace SerialRules

namespace GpioRules {

inline constexpr const char* kPortItems[] = {"1", "2", "3", "4", "5", "6", "7", "8"};
inline constexpr const char* kModeItems[] = {"OUTPUT", "INPUT"};
inline constexpr const char* kLevelItems[] = {"LOW", "HIGH"}; // state, initial state, trap state

constexpr int kPortCount = static_cast<int>(std::size(kPortItems));
constexpr int32_t kOutput = 0;
constexpr int32_t kInput = 1;
constexpr int kLevels = static_cast<int>(std::size(kLevelItems));

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
