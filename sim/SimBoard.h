#pragma once

#include <QJsonObject>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>

// One simulated board: its node-protocol identity and settings, and the faults it is told to show.
struct SimBoard
{
    std::array<uint8_t, 6> mac{};
    std::array<uint8_t, 4> dhcp{}; // raw wire bytes
    uint32_t ip = 0;               // host order
    uint32_t mask = 0;
    uint32_t gateway = 0;

    bool silent = false;
    int appearAfterMs = 0; // answers nothing, on either protocol, before then
    std::chrono::steady_clock::time_point appearAt{};
    int replyDelayMs = 0;
    int setAddressDelayMs = 0;     // delay of set-address replies (defaults to replyDelayMs)
    bool ignoreSetAddress = false; // answers searches but never a set-address request
    bool keepSettings = false;     // answers set-address requests with success but keeps its settings
    bool answerTwice = false;
    bool replyBroadcast = false; // replies go to 255.255.255.255 at the requester's port
    uint32_t setAddressResult = 0;
    std::optional<std::array<uint8_t, 6>> replyMac; // carried by its set-address replies

    QJsonObject snmp; // handed untouched to the SNMP agent
    // Its "snmp" object's delayMs and jitterMs; unset, the command line's defaults apply.
    std::optional<int> snmpDelayMs;
    std::optional<int> snmpJitterMs;

    // Whether ip is an address of this host, so that replies can leave from it.
    bool localSource = false;
};
