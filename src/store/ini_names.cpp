#include "store/ini_names.h"

#include <algorithm>

#include "protocol/text.h"
#include "store/ini_document.h"

namespace nms::store {

namespace {

std::string trimmed(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return std::string(s.substr(b, e - b));
}

// Printable ASCII with no blank at either end: the names the station itself uses, which need
// no cleaning.
bool plainName(std::string_view s) {
    if (s.empty() || s.front() == ' ' || s.back() == ' ') return s.empty();
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F)
            return false;
    return true;
}

}  // namespace

std::string sectionName(std::string_view s) {
    if (plainName(s)) return std::string(s);
    return trimmed(sanitizeText(s));
}

std::string keyName(std::string_view k) {
    if (k.empty()) return {};
    if (plainName(k) && k.front() != '[' && k.find('=') == std::string_view::npos)
        return std::string(k);
    std::string s = sanitizeText(k);
    // "=" would end the key early, and a leading "[" would read as a section header.
    std::replace(s.begin(), s.end(), '=', ' ');
    s = trimmed(s);
    while (!s.empty() && s.front() == '[') s = trimmed(s.substr(1));
    return s;
}

std::string upperKey(std::string_view k) {
    std::string s = keyName(k);
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return protocol::text::toUpper(s);
    for (auto& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
    return s;
}

}  // namespace nms::store
