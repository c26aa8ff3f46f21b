#pragma once

#include "protocol/NetworkSettings.h"

#include <array>
#include <cstdint>
#include <string>

// Op codes of the node protocol (host order; the packet holds them big-endian).
enum : uint32_t
{
    OP_SEARCH_REQUEST = 0,
    OP_SEARCH_REPLY = 1,
    OP_SET_ADDRESS_REQUEST = 2,
    OP_SET_ADDRESS_REPLY = 3,
};

// One 36-byte node protocol packet in memory: a 20-byte header and the settings block. The op code
// and result are kept in wire (big-endian) order; callers convert them with ntohl/htonl where they
// compare them. The transaction id is the tool's own number, written least significant byte first
// and echoed unchanged by the node.
//
// A received record is created by the receive thread and handed, with its ownership, to the main
// window; a record is used by one thread at a time.
class NodeInfo
{
  public:
    static constexpr int kPacketSize = 36;
    static constexpr int kHeaderSize = 20;
    static constexpr int kMacLength = 6;
    using MacAddress = std::array<uint8_t, kMacLength>;

    NodeInfo() = default;
    NodeInfo(const NodeInfo&) = default;
    NodeInfo& operator=(const NodeInfo&) = default;

    uint32_t GetOpCode() const { return m_opCode; }
    void SetOpCode(uint32_t wireOrder) { m_opCode = wireOrder; }
    uint32_t GetTransactionId() const { return m_transactionId; }
    void SetTransactionId(uint32_t id) { m_transactionId = id; }
    const uint8_t* GetMacAddress() const { return m_macAddress.data(); }
    const MacAddress& GetMac() const { return m_macAddress; }
    void SetMacAddress(const uint8_t* mac);
    uint32_t GetResult() const { return m_result; }
    void SetResult(uint32_t wireOrder) { m_result = wireOrder; }
    const NetworkSettings& GetSettings() const { return m_settings; }
    NetworkSettings& GetSettings() { return m_settings; }
    void SetSettings(const NetworkSettings& settings) { m_settings = settings; }

    std::string GetMacText() const { return MacText(m_macAddress); }
    static std::string MacText(const MacAddress& mac); // "00:0a:ff:10:20:3b"
    bool HasSameMac(const NodeInfo& other) const { return m_macAddress == other.m_macAddress; }

    void Pack(uint8_t* buffer) const;   // writes kPacketSize bytes
    void Unpack(const uint8_t* buffer); // reads kPacketSize bytes

  private:
    static constexpr int kOpCodeOffset = 0;
    static constexpr int kTransactionIdOffset = 4;
    static constexpr int kMacOffset = 8;
    static constexpr int kReservedOffset = 14;
    static constexpr int kResultOffset = 16;

    uint32_t m_opCode = 0;
    uint32_t m_transactionId = 0;
    MacAddress m_macAddress{};
    std::array<uint8_t, 2> m_reserved{};
    uint32_t m_result = 0;
    NetworkSettings m_settings;
};
