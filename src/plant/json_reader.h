#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A strict JSON reader for files the operator hands the station (plant backups): the whole text
// must be one value, nothing is guessed, and every error says where it stands. Depth and size are
// bounded so that no file, however made, exhausts the stack or the memory.
namespace nms::plant::json {

struct Value {
    enum class Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    // A number's text exactly as written (so that no digit is lost), or a string's decoded text.
    std::string text;
    std::vector<Value> items;
    // In the order written; a name given twice is refused by the reader.
    std::vector<std::pair<std::string, Value>> members;

    // Made where Value is whole: a container of pairs holding Value cannot be destroyed or copied
    // before then, and some compilers insist on that.
    Value();
    Value(const Value&);
    Value(Value&&) noexcept;
    Value& operator=(const Value&);
    Value& operator=(Value&&) noexcept;
    ~Value();

    // The member of that name, or null.
    const Value* member(std::string_view name) const;
};

inline constexpr std::size_t kMaxDepth = 32;
// Names are checked for repeats one by one: an object of more members is refused.
inline constexpr std::size_t kMaxMembers = 1024;
inline constexpr std::size_t kMaxBytes = 64u * 1024u * 1024u;
// A value takes about a hundred bytes of memory however short its text: a file of a million
// (a plant of some 40,000 elements) stays near a hundred megabytes, where 64 MiB of "[0,0,..."
// would take gigabytes.
inline constexpr std::size_t kMaxValues = 1'000'000;
inline constexpr std::size_t kMaxTextBytes = 64u * 1024u;
inline constexpr std::size_t kMaxNumberBytes = 64;

struct Parsed {
    std::optional<Value> value;
    std::string error;  // empty when value holds
};

// The text as one JSON value (UTF-8; a leading byte-order mark is refused like any other byte).
Parsed parse(std::string_view text);

// Text as a JSON string, quotes included: quote, backslash and every control character escaped,
// everything else (UTF-8) as it is.
std::string quote(std::string_view text);

}  // namespace nms::plant::json
