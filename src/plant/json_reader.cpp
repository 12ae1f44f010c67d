#include "plant/json_reader.h"

#include <cstdint>

#include "protocol/text.h"

namespace nms::plant::json {

Value::Value() = default;
Value::Value(const Value&) = default;
Value::Value(Value&&) noexcept = default;
Value& Value::operator=(const Value&) = default;
Value& Value::operator=(Value&&) noexcept = default;
Value::~Value() = default;

const Value* Value::member(std::string_view name) const {
    for (const auto& [n, v] : members)
        if (n == name) return &v;
    return nullptr;
}

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : t_(text) {}

    Parsed run() {
        Parsed out;
        if (t_.size() > kMaxBytes) {
            out.error =
                "the file is larger than " + std::to_string(kMaxBytes / (1024 * 1024)) + " MiB";
            return out;
        }
        Value v;
        skipBlanks();
        if (value(v, 0)) {
            skipBlanks();
            if (at_ != t_.size()) fail("text follows the end of the document");
        }
        if (!error_.empty()) {
            out.error = error_;
            return out;
        }
        out.value = std::move(v);
        return out;
    }

private:
    bool fail(const std::string& what) {
        if (error_.empty()) {
            error_ = at_ >= t_.size()
                         ? "the text ends too early (" + what + "): is the file truncated?"
                         : what + " at byte " + std::to_string(at_ + 1);
        }
        return false;
    }
    bool more() const { return at_ < t_.size(); }
    char peek() const { return t_[at_]; }
    void skipBlanks() {
        while (more() && (peek() == ' ' || peek() == '\t' || peek() == '\n' || peek() == '\r'))
            ++at_;
    }
    bool literal(std::string_view word) {
        if (t_.substr(at_, word.size()) != word) {
            if (t_.size() - at_ < word.size() &&
                word.substr(0, t_.size() - at_) == t_.substr(at_)) {
                at_ = t_.size();
                return fail("an unfinished word");
            }
            return fail("an unknown word");
        }
        at_ += word.size();
        return true;
    }

    bool value(Value& v, std::size_t depth) {
        if (!more()) return fail("a value is missing");
        // Each value costs far more in memory than its few bytes of text: their number is what
        // bounds what a file can take, not its size.
        if (++values_ > kMaxValues)
            return fail("more than " + std::to_string(kMaxValues) + " values");
        switch (peek()) {
            case '{':
                return object(v, depth + 1);
            case '[':
                return array(v, depth + 1);
            case '"':
                v.kind = Value::Kind::String;
                return string(v.text);
            case 't':
                v.kind = Value::Kind::Boolean;
                v.boolean = true;
                return literal("true");
            case 'f':
                v.kind = Value::Kind::Boolean;
                v.boolean = false;
                return literal("false");
            case 'n':
                v.kind = Value::Kind::Null;
                return literal("null");
            default:
                if (peek() == '-' || (peek() >= '0' && peek() <= '9')) return number(v);
                return fail("an unexpected character");
        }
    }

    // An object or an array: what opens it, then `element` read for each member or item, the
    // two separated by commas until `close`.
    template <class Element>
    bool container(Value& v, Value::Kind kind, char close, const char* unfinished,
                   std::size_t depth, Element element) {
        if (depth > kMaxDepth) return fail("values nested too deeply");
        v.kind = kind;
        ++at_;
        skipBlanks();
        if (more() && peek() == close) return ++at_, true;
        for (;;) {
            skipBlanks();
            if (!element()) return false;
            skipBlanks();
            if (!more()) return fail(unfinished);
            if (peek() == close) return ++at_, true;
            if (peek() != ',') return fail(std::string("\",\" or \"") + close + "\" was expected");
            ++at_;
        }
    }

    bool object(Value& v, std::size_t depth) {
        return container(v, Value::Kind::Object, '}', "an unfinished object", depth, [&] {
            if (!more()) return fail("an unfinished object");
            if (peek() != '"') return fail("a member name was expected");
            std::string name;
            if (!string(name)) return false;
            if (v.members.size() >= kMaxMembers) return fail("an object of too many members");
            for (const auto& m : v.members)
                if (m.first == name) return fail("the member \"" + name + "\" is given twice");
            skipBlanks();
            if (!more()) return fail("an unfinished object");
            if (peek() != ':') return fail("\":\" was expected");
            ++at_;
            skipBlanks();
            Value member;
            if (!value(member, depth)) return false;
            v.members.emplace_back(std::move(name), std::move(member));
            return true;
        });
    }

    bool array(Value& v, std::size_t depth) {
        return container(v, Value::Kind::Array, ']', "an unfinished array", depth, [&] {
            Value item;
            if (!value(item, depth)) return false;
            v.items.push_back(std::move(item));
            return true;
        });
    }

    bool digits() {
        const std::size_t from = at_;
        while (more() && peek() >= '0' && peek() <= '9') ++at_;
        return at_ > from || fail("a digit was expected");
    }

    bool number(Value& v) {
        const std::size_t from = at_;
        v.kind = Value::Kind::Number;
        if (peek() == '-') ++at_;
        if (more() && peek() == '0') {
            ++at_;
            if (more() && peek() >= '0' && peek() <= '9')
                return fail("a number with a leading zero");
        } else if (!digits()) {
            return false;
        }
        if (more() && peek() == '.') {
            ++at_;
            if (!digits()) return false;
        }
        if (more() && (peek() == 'e' || peek() == 'E')) {
            ++at_;
            if (more() && (peek() == '+' || peek() == '-')) ++at_;
            if (!digits()) return false;
        }
        if (at_ - from > kMaxNumberBytes) return fail("a number of too many digits");
        v.text = std::string(t_.substr(from, at_ - from));
        return true;
    }

    bool hex4(std::uint32_t& out) {
        out = 0;
        for (int i = 0; i < 4; ++i, ++at_) {
            if (!more()) return fail("an unfinished \\u escape");
            const char c = peek();
            out <<= 4;
            if (c >= '0' && c <= '9')
                out |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                out |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                out |= static_cast<std::uint32_t>(c - 'A' + 10);
            else
                return fail("a \\u escape needs four hexadecimal digits");
        }
        return true;
    }

    static void append(std::string& s, std::uint32_t cp) {
        if (cp < 0x80) {
            s += static_cast<char>(cp);
        } else if (cp < 0x800) {
            s += static_cast<char>(0xC0 | (cp >> 6));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            s += static_cast<char>(0xE0 | (cp >> 12));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            s += static_cast<char>(0xF0 | (cp >> 18));
            s += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            s += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    // One UTF-8 sequence, checked: no overlong form, no surrogate, nothing above U+10FFFF.
    bool utf8(std::string& s) {
        const auto b0 = static_cast<unsigned char>(peek());
        std::size_t n = 0;
        std::uint32_t cp = 0, min = 0;
        if (b0 >= 0xC2 && b0 <= 0xDF)
            n = 1, cp = b0 & 0x1F, min = 0x80;
        else if (b0 >= 0xE0 && b0 <= 0xEF)
            n = 2, cp = b0 & 0x0F, min = 0x800;
        else if (b0 >= 0xF0 && b0 <= 0xF4)
            n = 3, cp = b0 & 0x07, min = 0x10000;
        else
            return fail("a byte that is not UTF-8");
        if (t_.size() - at_ <= n) {
            at_ = t_.size();
            return fail("an unfinished string");
        }
        for (std::size_t i = 1; i <= n; ++i) {
            const auto b = static_cast<unsigned char>(t_[at_ + i]);
            if ((b & 0xC0) != 0x80) return fail("a byte that is not UTF-8");
            cp = (cp << 6) | (b & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return fail("a byte that is not UTF-8");
        s.append(t_.substr(at_, n + 1));
        at_ += n + 1;
        return true;
    }

    bool string(std::string& s) {
        ++at_;  // the opening quote
        for (;;) {
            if (!more()) return fail("an unfinished string");
            if (s.size() > kMaxTextBytes)
                return fail("a text longer than " + std::to_string(kMaxTextBytes / 1024) + " KiB");
            const auto c = static_cast<unsigned char>(peek());
            if (c == '"') return ++at_, true;
            if (c < 0x20) return fail("a control character inside a string");
            if (c >= 0x80) {
                if (!utf8(s)) return false;
                continue;
            }
            if (c != '\\') {
                s += static_cast<char>(c);
                ++at_;
                continue;
            }
            ++at_;
            if (!more()) return fail("an unfinished escape");
            const char e = peek();
            ++at_;
            switch (e) {
                case '"':
                    s += '"';
                    break;
                case '\\':
                    s += '\\';
                    break;
                case '/':
                    s += '/';
                    break;
                case 'b':
                    s += '\b';
                    break;
                case 'f':
                    s += '\f';
                    break;
                case 'n':
                    s += '\n';
                    break;
                case 'r':
                    s += '\r';
                    break;
                case 't':
                    s += '\t';
                    break;
                case 'u': {
                    std::uint32_t cp = 0;
                    if (!hex4(cp)) return false;
                    if (cp >= 0xDC00 && cp <= 0xDFFF) return fail("a lone low surrogate");
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        std::uint32_t low = 0;
                        if (t_.substr(at_, 2) != "\\u")
                            return fail("a high surrogate without its low half");
                        at_ += 2;
                        if (!hex4(low)) return false;
                        if (low < 0xDC00 || low > 0xDFFF)
                            return fail("a high surrogate without its low half");
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    }
                    append(s, cp);
                    break;
                }
                default:
                    --at_;
                    return fail("an unknown escape");
            }
        }
    }

    std::string_view t_;
    std::size_t at_ = 0;
    std::size_t values_ = 0;
    std::string error_;
};

}  // namespace

Parsed parse(std::string_view text) {
    return Reader(text).run();
}

std::string quote(std::string_view raw) {
    static const char* const kHex = "0123456789abcdef";
    const std::string text = protocol::text::validUtf8(raw);
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        const auto c = static_cast<unsigned char>(ch);
        // The C1 controls (U+0080..U+009F) too, as a Latin-1 file's stray bytes become them.
        const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F || c1) {
            const auto code = c1 ? static_cast<unsigned char>(text[++i]) : c;
            out += "\\u00";
            out += kHex[code >> 4];
            out += kHex[code & 0xF];
        } else {
            out += ch;
        }
    }
    out += '"';
    return out;
}

}  // namespace nms::plant::json
