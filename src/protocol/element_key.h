#pragma once

#include <string>
#include <string_view>

// An element's identity and the database section it names. On the station's own segment an
// element is its MAC address, as address resolution finds it ("00:1A:2B:3C:4D:5E", section
// "001A2B3C4D5E"). Behind a router no MAC can be found, so the element is its role and serial
// number from its feedback ("ENCODER-SN0001234567"): the identity text and the section are the
// same text. That form is 20 characters with letters beyond hexadecimal, so it is never taken for
// a MAC key (12 hexadecimal digits) or a MAC text (17 characters), by this station or by one
// that knows only MAC keys.
namespace nms::protocol {

// The section of an element known by its serial number (1 to 2147483647) and role (1 encoder,
// 2 decoder, anything else not reported); the empty text for a serial number out of range.
std::string SerialKey(int role, long long serial);
// Whether a section or identity names an element by its serial number (any case).
bool IsSerialKey(std::string_view key);
// Identity → section: a MAC text as Encode_MAC gives it, a serial identity upper-cased; anything
// else gives the empty text.
std::string ElementKey(std::string_view identity);
// Section → identity: a MAC key as Decode_MAC gives it, a serial key upper-cased; anything else
// gives the empty text.
std::string ElementIdentity(std::string_view key);

}  // namespace nms::protocol
