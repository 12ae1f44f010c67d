#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Addresses as the station writes them: MAC texts ("00:1A:2B:3C:4D:5E"), element keys
// ("001A2B3C4D5E", the record's section name), dotted IPv4 texts and element names.
namespace nms::protocol {

// MAC text → element key: a 17-character text loses its ":" and is upper-cased; any other
// length gives the empty text. No further check is made.
std::string Encode_MAC(std::string_view srcMAC);
// Element key → MAC text: a 12-character key is split into pairs joined by ":"; any other
// length gives the empty text.
std::string Decode_MAC(std::string_view key);
// Six octets → MAC text with the separator; any other count gives the empty text.
std::string FormatMAC(std::span<const std::uint8_t> octets, std::string_view separator);

inline constexpr std::uint32_t kInaddrNone = 0xFFFFFFFFu;
// The address in network byte order as the classic inet_addr() gives it (first octet in the
// lowest byte of the value), kInaddrNone for a text it cannot read. Like inet_addr it reads
// one to four parts, each decimal, octal (leading 0) or hexadecimal (leading 0x).
std::uint32_t IPTextToAddress(std::string_view ip);
// Four parts, each one or more decimal digits with a value from 0 to 255 (leading zeros
// allowed). Nothing else passes: no blanks, signs or exponents.
bool IsValidIP(std::string_view ip);
// The parts between the dots, with no limit on their number; the empty text gives none.
std::vector<std::string> SplitIP(std::string_view ip);
// The four bytes of a valid dotted text (IsValidIP must hold).
std::array<std::uint8_t, 4> IPBytes(std::string_view ip);
// The dotted text of an address value as IPTextToAddress gives it (first part in the lowest byte).
std::string AddressToIPText(std::uint32_t address);
// Dotted text of four bytes, each in decimal without leading zeros.
std::string FormatIP(std::span<const std::uint8_t> fourBytes);
// Exactly 16 characters: padded with blanks or cut, then upper-cased.
std::string FormatElementName(std::string_view name);
// A big-endian number of `count` bytes from `start`, as a signed 32-bit value; 0 when the
// datagram does not reach the last byte.
std::int32_t BytesToLong(std::span<const std::uint8_t> datagram, std::int32_t start, std::uint8_t count);

}  // namespace nms::protocol
