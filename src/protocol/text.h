#pragma once

#include <cstdint>
#include <span>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Text in the station is UTF-8. Elements speak single bytes; a byte maps to the character of the
// same code (Latin-1), and a character goes back to the element as the low 8 bits of its code.
namespace nms::protocol::text {

std::string latin1ToUtf8(std::span<const std::uint8_t> bytes);
// Appends one character as UTF-8.
void appendCodePoint(std::string& out, std::uint32_t cp);
// Decodes the character at s[i] and advances i past it. A byte that does not start a
// well-formed sequence stands for the Latin-1 character of its code, so no text is rejected.
std::uint32_t nextCodePoint(std::string_view s, std::size_t& i);
// Valid UTF-8 whatever the bytes: well-formed sequences as they are, any other byte as the
// Latin-1 character of its code (a name an earlier station or a person wrote in Latin-1 reads
// as they meant it). For everything the station writes for others.
std::string validUtf8(std::string_view s);
// One byte per character: the low 8 bits of each character's code.
std::vector<std::uint8_t> utf8ToBytes(std::string_view utf8);
// Characters (code points), not bytes.
std::size_t length(std::string_view utf8);
// The first n characters.
std::string left(std::string_view utf8, std::size_t n);
// Upper case for ASCII and the Latin-1 letters.
std::string toUpper(std::string_view utf8);
std::string toLower(std::string_view utf8);
// Surrounding blanks removed.
std::string trim(std::string_view s);
// True when s is a decimal integer (optional sign, digits only) that fits in a 64-bit value.
bool parseInteger(std::string_view s, long long& out);
// A whole decimal number as a record stores one (no sign but "-", no leading zero, no fraction),
// short enough to be exact in any JSON reader: written to JSON as a number, read back as the
// same text.
bool isWholeNumber(std::string_view v);
// A decimal number as a record may hold one: optional sign, digits with an optional fraction,
// blanks and tabs around it. Anything else (empty text, letters, exponents, "inf") is not one.
std::optional<double> decimalNumber(std::string_view text);
// The leading numeric part of a text, read as a decimal number ("3.7abc" is 3.7, "x" is 0), as
// the station reads version texts.
double leadingNumber(std::string_view s);
// Shortest decimal form of a number: no trailing zeros, no "+", "." as the separator.
std::string shortestNumber(double v);
// A number with a fixed count of decimals and "." as the separator ("0.50"), as printf's "%.2f"
// writes it in the C locale, whatever the user's locale: for files, JSON and metrics.
std::string fixedNumber(double v, int decimals);

// A time stamp for an operator or a file: ISO 8601 in UTC, "2026-01-01T00:00:05Z", or with
// milliseconds "2026-01-01T00:00:05.250Z".
std::string isoUtcTime(std::int64_t unixTimeMs, bool withMilliseconds);

}  // namespace nms::protocol::text
