#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>

// Text forms shared by the configuration, the log and the command line.
namespace SimText {

// "00:0a:ff:10:20:3b"; also accepts '-' as separator and upper case.
bool ParseMac(const QString& text, std::array<uint8_t, 6>& mac);
QString MacText(const std::array<uint8_t, 6>& mac);

// Strict dotted quad; the result is in host order.
bool ParseIpv4(const QString& text, uint32_t& hostOrder);
QString Ipv4Text(uint32_t hostOrder);

QString HexText(const uint8_t* data, std::size_t length);

} // namespace SimText
