#include "plant/plant_backup.h"

#include <array>
#include <charconv>
#include <cstddef>
#include <unordered_map>
#include <unordered_set>

#include "editor/address_checks.h"
#include "plant/json_reader.h"
#include "plant/sfn_alignment.h"
#include "ports/settings.h"
#include "protocol/address.h"
#include "protocol/element_key.h"
#include "protocol/configuration.h"
#include "protocol/text.h"
#include "store/ini_document.h"
#include "store/profile_store.h"

namespace nms::plant {

namespace k = store::record;
namespace keys = station::settings;

std::span<const station::settings::Key> plantSettingKeys() {
    static constexpr std::array<keys::Key, 9> kKeys{
        keys::kInterface,        keys::kScanTimeout, keys::kMonitorPlant,
        keys::kMonitorInterval,  keys::kJournalDays, keys::kJournalMegabytes,
        keys::kAutoClearCounters, keys::kSites,      keys::kSiteScanRate};
    return kKeys;
}

std::vector<BackupSetting> plantSettings(const ports::SettingsStore& settings) {
    std::vector<BackupSetting> out;
    for (const auto& key : plantSettingKeys())
        if (auto v = settings.get(keys::kApp, key.section, key.name))
            out.push_back(BackupSetting{key.section, key.name, *v});
    return out;
}

std::vector<BackupRecord> recordsOfDatabase(std::string_view iniText) {
    const auto doc = store::IniDocument::parse(iniText);
    std::vector<BackupRecord> out;
    out.reserve(doc.sections().size());
    for (const auto& s : doc.sections()) {
        if (s.shadowed) continue;
        BackupRecord r;
        r.key = s.name;
        for (const auto& e : s.entries) {
            if (e.raw) continue;
            bool seen = false;
            for (const auto& [key, value] : r.values) seen = seen || store::sameName(key, e.key());
            if (!seen) r.values.emplace_back(e.key(), e.value());
        }
        out.push_back(std::move(r));
    }
    return out;
}

std::string databaseText(const std::vector<BackupRecord>& records) {
    std::string out;
    for (const auto& r : records) {
        out += '[';
        out += r.key;
        out += "]\n";
        for (const auto& [key, value] : r.values) {
            out += key;
            out += '=';
            out += value;
            out += '\n';
        }
    }
    return out;
}

namespace {

std::string jsonValue(const std::string& v) {
    return protocol::text::isWholeNumber(v) ? v : json::quote(v);
}

}  // namespace

std::string backupJson(const PlantBackup& b) {
    std::string out = "{\n";
    out += "  \"format_version\": " + std::to_string(b.formatVersion) + ",\n";
    out += "  \"time\": " + json::quote(b.time) + ",\n";
    out += "  \"station\": " + json::quote(b.station) + ",\n";
    out += "  \"program_version\": " + json::quote(b.program) + ",\n";
    out += "  \"settings\": [";
    for (std::size_t i = 0; i < b.settings.size(); ++i) {
        const auto& s = b.settings[i];
        out += i ? ",\n    " : "\n    ";
        out += "{\"section\": " + json::quote(s.section) + ", \"name\": " + json::quote(s.name) +
               ", \"value\": " + jsonValue(s.value) + "}";
    }
    out += b.settings.empty() ? "],\n" : "\n  ],\n";
    out += "  \"records\": [";
    for (std::size_t i = 0; i < b.records.size(); ++i) {
        const auto& r = b.records[i];
        out += i ? ",\n    " : "\n    ";
        out += "{\"key\": " + json::quote(r.key) + ", \"values\": {";
        for (std::size_t v = 0; v < r.values.size(); ++v) {
            out += v ? ", " : "";
            out += json::quote(r.values[v].first) + ": " + jsonValue(r.values[v].second);
        }
        out += "}}";
    }
    out += b.records.empty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

namespace {

bool isElementKey(std::string_view key) {
    if (protocol::IsSerialKey(key)) return true;
    if (key.size() != 12) return false;
    for (const char c : key)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

bool hasControl(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7F) return true;
        // The C1 controls (U+0080 to U+009F): the store reads a key holding one as a blank.
        if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) <= 0x9F)
            return true;
    }
    return false;
}

// A key name the database file can hold and give back as the same key.
bool isKeyName(std::string_view s) {
    if (s.empty() || hasControl(s) || s.find('=') != std::string_view::npos || s.front() == '[')
        return false;
    return s.front() != ' ' && s.back() != ' ' && s.front() != '\t' && s.back() != '\t';
}

// The text a record keeps for a JSON value, or nothing when the value is not one a record holds.
std::optional<std::string> recordText(const json::Value& v) {
    if (v.kind == json::Value::Kind::String) return v.text;
    if (v.kind == json::Value::Kind::Number && v.text.find_first_of(".eE") == std::string::npos)
        return v.text;
    return std::nullopt;
}

std::optional<long long> wholeNumber(std::string_view v) {
    if (!protocol::text::isWholeNumber(v)) return std::nullopt;
    long long n = 0;
    const auto r = std::from_chars(v.data(), v.data() + v.size(), n);
    if (r.ec != std::errc{} || r.ptr != v.data() + v.size()) return std::nullopt;
    return n;
}

// A field of the typed record and the key that fills it.
template <class T>
struct KeyedField {
    std::string_view key;
    std::optional<T> store::ElementRecord::*field;
};

constexpr KeyedField<long long> kNumberFields[] = {
    {k::kInput, &store::ElementRecord::input},
    {k::kType, &store::ElementRecord::type},
    {k::kTx, &store::ElementRecord::tx},
    {k::kRole, &store::ElementRecord::role},
    {k::kSerial, &store::ElementRecord::serial},
    {k::kSfn, &store::ElementRecord::sfn},
    {k::kBuffer, &store::ElementRecord::buffer},
    {k::kSilenceMode, &store::ElementRecord::silenceMode},
    {k::kSilenceLevel, &store::ElementRecord::silenceLevel},
    {k::kSilenceTime, &store::ElementRecord::silenceTime},
    {k::kDelay, &store::ElementRecord::delay},
    {k::kAttenuation, &store::ElementRecord::attenuation},
    {k::kLowLatency, &store::ElementRecord::lowLatency},
};
constexpr KeyedField<std::string> kTextFields[] = {
    {k::kName, &store::ElementRecord::name},
    {k::kIp, &store::ElementRecord::ip},
    {k::kMask, &store::ElementRecord::mask},
    {k::kGateway, &store::ElementRecord::gateway},
    {k::kRemote, &store::ElementRecord::remote},
    {k::kMulticast, &store::ElementRecord::multicast},
    {k::kVersion, &store::ElementRecord::version},
};

// The field of `el` that `key` fills, or nothing.
template <class T, std::size_t N>
std::optional<T>* fieldOf(const KeyedField<T> (&fields)[N], std::string_view key,
                          store::ElementRecord& el) {
    for (const auto& f : fields)
        if (store::sameName(key, f.key)) return &(el.*f.field);
    return nullptr;
}

// Fills the typed record from the keys the station knows; the first value that is not what such
// a key holds, as its error.
std::string typeRecord(BackupRecord& r) {
    auto& e = r.element;
    auto isAddress = [](std::string_view key) {
        return store::sameName(key, k::kIp) || store::sameName(key, k::kMask) ||
               store::sameName(key, k::kGateway) || store::sameName(key, k::kRemote) ||
               store::sameName(key, k::kMulticast);
    };
    for (const auto& [key, value] : r.values) {
        if (auto* field = fieldOf(kNumberFields, key, e)) {
            *field = wholeNumber(value);
            if (!*field) return "\"" + key + "\" is \"" + value + "\", not a whole number";
        } else if (store::sameName(key, k::kServo) || store::sameName(key, k::kBound)) {
            if (!wholeNumber(value))
                return "\"" + key + "\" is \"" + value + "\", not a whole number";
        } else if (auto* text = fieldOf(kTextFields, key, e)) {
            if (isAddress(key) && !protocol::IsValidIP(value))
                return "\"" + key + "\" is \"" + value + "\", not an IPv4 address";
            *text = value;
        }
    }
    if (!e.role) return "it has no \"role\"";
    if (*e.role != k::kRoleEncoder && *e.role != k::kRoleDecoder)
        return "its role " + std::to_string(*e.role) +
               " is neither an encoder (1) nor a decoder (2)";
    return recordValueRefusal(r.values, RecordUse::Stored).value_or("");
}

}  // namespace

std::optional<std::string> recordValueRefusal(
    const std::vector<std::pair<std::string, std::string>>& values, RecordUse use) {
    const bool controls = use == RecordUse::ForTheEditor;
    auto find = [&](std::string_view key) -> std::optional<std::string> {
        for (const auto& [k2, v] : values)
            if (store::sameName(k2, key)) return v;
        return std::nullopt;
    };
    const bool decoder = wholeNumber(find(k::kRole).value_or("")) == k::kRoleDecoder;
    for (const auto& [key, value] : values) {
        const auto quoted = "\"" + key + "\" is \"" + value + "\"";
        if (store::sameName(key, k::kName)) {
            const std::string name = protocol::text::trim(value);
            std::size_t characters = 0;
            for (const char c : name) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
            if (characters > 16)
                return quoted + ", longer than the 16 characters an element holds";
            if (protocol::unsendableNameCharacter(name))
                return quoted + ", which holds a character an element cannot hold";
            continue;
        }
        // What an element can report, for a record stored from its answer; and the range each
        // control of the editor takes, for a record about to be applied to one. A decoder's level
        // below its control's range is raised when it is shown, as loading it raises it.
        struct Range {
            std::string_view key;
            long long low, high;      // as stored
            long long editorLow, editorHigh;
            bool decoderOnly;
        };
        static constexpr Range kRanges[] = {
            {k::kInput, 0, 255, 0, 2, false},         {k::kTx, 0, 255, 0, 1, false},
            {k::kType, 0, 255, 0, 255, false},        {k::kAttenuation, 0, 255, 0, 255, false},
            {k::kBuffer, 0, 255, 0, 44, true},        {k::kSilenceMode, 0, 255, 0, 3, true},
            {k::kSilenceLevel, 0, 255, 1, 154, true}, {k::kSilenceTime, 0, 255, 1, 220, true},
            {k::kDelay, 0, kMaxSteps, 0, kMaxSteps, false},
            {k::kServo, 0, 1, 0, 1, false},
            {k::kSfn, 0, 255, 0, 255, false},         {k::kLowLatency, 0, 255, 0, 255, false},
        };
        for (const auto& range : kRanges) {
            if (!store::sameName(key, range.key) || (range.decoderOnly && !decoder)) continue;
            const long long low = controls ? range.editorLow : range.low;
            const long long high = controls ? range.editorHigh : range.high;
            const auto n = wholeNumber(value);
            if (!n) return quoted + ", not a whole number";
            if (*n < low || *n > high)
                return quoted + ", outside " + std::to_string(low) + " to " + std::to_string(high);
        }
    }
    if (const auto type = wholeNumber(find(k::kType).value_or(""))) {
        const auto code = *type & 0x3F;
        if (code >= 2 && code <= 15)
            return "\"" + std::string(k::kType) + "\" is \"" + std::to_string(*type) +
                   "\", an audio type no element sends";
    }
    // The addresses as the save judges them: an element given them would be off the network.
    // A stored record keeps what the element said of itself, judged or not.
    const auto ip = find(k::kIp), mask = find(k::kMask), gateway = find(k::kGateway);
    if (controls && ip && mask && gateway && protocol::IsValidIP(*ip) && protocol::IsValidIP(*mask) &&
        protocol::IsValidIP(*gateway)) {
        editor::ElementAddresses a{*ip, *mask, *gateway, "", editor::StreamAddress::NotJudged};
        const auto tx = wholeNumber(find(k::kTx).value_or("0")).value_or(0);
        const auto stream = find(tx == 1 || decoder ? k::kMulticast : k::kRemote);
        if (stream && protocol::IsValidIP(*stream)) {
            a.stream = *stream;
            a.streamKind = tx == 1    ? editor::StreamAddress::Multicast
                           : decoder ? editor::StreamAddress::NotJudged
                                     : editor::StreamAddress::Decoder;
        }
        if (auto refusal = editor::addressRefusal(a)) {
            // A sentence of its own; the caller ends the whole.
            if (!refusal->empty() && refusal->back() == '.') refusal->pop_back();
            return refusal;
        }
    }
    return std::nullopt;
}

namespace {

std::string recordLabel(std::size_t index, const BackupRecord& r) {
    std::string label = "record " + std::to_string(index + 1);
    const std::string mac = protocol::ElementIdentity(r.key);
    if (!mac.empty()) label += " (" + mac;
    for (const auto& [key, value] : r.values)
        if (store::sameName(key, k::kName)) {
            std::string name = value;
            while (!name.empty() && name.back() == ' ') name.pop_back();
            label += (mac.empty() ? " (\"" : ", \"") + name + "\"";
            return label + ")";
        }
    return mac.empty() ? label : label + ")";
}

}  // namespace

BackupReading readBackup(std::string_view text) {
    BackupReading out;
    auto refuse = [&](std::string why) {
        out.error = "Not a plant backup this station can restore: " + std::move(why) + ".";
        return out;
    };
    auto parsed = json::parse(text);
    if (!parsed.value) return refuse(parsed.error);
    const auto& root = *parsed.value;
    if (root.kind != json::Value::Kind::Object)
        return refuse("the file does not hold a JSON object");
    const auto* version = root.member("format_version");
    if (!version || version->kind != json::Value::Kind::Number)
        return refuse("it has no \"format_version\"");
    if (version->text != std::to_string(kBackupFormatVersion))
        return refuse("it is of format version " + version->text + "; this station reads version " +
                      std::to_string(kBackupFormatVersion));
    PlantBackup b;
    for (auto [name, field] : {std::pair{"time", &b.time}, std::pair{"station", &b.station},
                               std::pair{"program_version", &b.program}}) {
        const auto* v = root.member(name);
        if (!v || v->kind != json::Value::Kind::String)
            return refuse(std::string("its \"") + name + "\" is missing or not text");
        *field = v->text;
    }
    const auto* settings = root.member("settings");
    if (!settings || settings->kind != json::Value::Kind::Array)
        return refuse("its \"settings\" are missing or not a list");
    for (std::size_t i = 0; i < settings->items.size(); ++i) {
        const auto& s = settings->items[i];
        const auto* section = s.member("section");
        const auto* name = s.member("name");
        const auto* value = s.member("value");
        std::optional<std::string> valueText = value ? recordText(*value) : std::nullopt;
        if (s.kind != json::Value::Kind::Object || !section ||
            section->kind != json::Value::Kind::String || !name ||
            name->kind != json::Value::Kind::String || !valueText)
            return refuse("setting " + std::to_string(i + 1) +
                          " is not a section, a name and a value");
        b.settings.push_back(BackupSetting{section->text, name->text, *valueText});
    }
    const auto* records = root.member("records");
    if (!records || records->kind != json::Value::Kind::Array)
        return refuse("its \"records\" are missing or not a list");
    std::unordered_set<std::string> seen;
    b.records.reserve(records->items.size());
    for (std::size_t i = 0; i < records->items.size(); ++i) {
        const auto& item = records->items[i];
        const std::string at = "record " + std::to_string(i + 1);
        if (item.kind != json::Value::Kind::Object) return refuse(at + " is not an object");
        const auto* key = item.member("key");
        const auto* values = item.member("values");
        if (!key || key->kind != json::Value::Kind::String || !isElementKey(key->text))
            return refuse(at + " has no element key (twelve hexadecimal digits of its MAC)");
        if (!values || values->kind != json::Value::Kind::Object)
            return refuse(at + " has no \"values\"");
        BackupRecord r;
        r.key = key->text;
        for (const auto& [name, value] : values->members) {
            auto valueText = recordText(value);
            if (!isKeyName(name))
                return refuse(recordLabel(i, r) + " has a key name the database cannot hold: \"" +
                              name + "\"");
            for (const auto& [other, ignored] : r.values)
                if (store::sameName(other, name))
                    return refuse(recordLabel(i, r) + " gives the key \"" + name + "\" twice");
            if (!valueText || hasControl(*valueText))
                return refuse(recordLabel(i, r) + ": \"" + name +
                              "\" is not text or a whole number");
            r.values.emplace_back(name, std::move(*valueText));
        }
        if (const auto why = typeRecord(r); !why.empty())
            return refuse(recordLabel(i, r) + ": " + why);
        if (!seen.insert(store::foldName(r.key)).second)
            return refuse(recordLabel(i, r) + " has the MAC of an earlier record");
        b.records.push_back(std::move(r));
    }
    out.backup = std::move(b);
    return out;
}

std::string replacementSummary(const std::vector<BackupRecord>& current, const PlantBackup& backup,
                               const std::string& databasePath) {
    // By key, so that a plant of twenty thousand elements is compared in linear time.
    std::unordered_map<std::string, const BackupRecord*> inBackup;
    inBackup.reserve(backup.records.size());
    for (const auto& r : backup.records) inBackup.emplace(store::foldName(r.key), &r);
    std::size_t dropped = 0, changed = 0;
    std::unordered_set<std::string> inCurrent;
    inCurrent.reserve(current.size());
    for (const auto& r : current) {
        auto key = store::foldName(r.key);
        const auto it = inBackup.find(key);
        inCurrent.insert(std::move(key));
        if (it == inBackup.end())
            ++dropped;
        else if (it->second->values != r.values)
            ++changed;
    }
    std::size_t added = 0;
    for (const auto& r : backup.records) added += inCurrent.count(store::foldName(r.key)) ? 0 : 1;
    auto count = [](std::size_t n) {
        return std::to_string(n) + (n == 1 ? " element" : " elements");
    };
    return "The local database " + databasePath + " (" + count(current.size()) +
           ") will be replaced by the plant backup made on " + backup.station + " at " +
           backup.time + " (" + count(backup.records.size()) + "): " + std::to_string(dropped) +
           " removed, " + std::to_string(changed) + " changed, " + std::to_string(added) +
           " added. The present database is kept as " + databasePath + ".bak.";
}

ports::WriteResult restoreDatabase(store::ProfileStore& db, const std::string& path,
                                   const PlantBackup& backup, bool* keptCopy) {
    if (keptCopy) *keptCopy = false;
    // Asked first, so that the copy kept beside it (an older one) is not overwritten for nothing.
    if (db.isReadOnly(path)) return {false, path + ": the file is read-only"};
    std::optional<std::string> previous;
    if (!db.snapshot(path, previous)) return {false, path + " cannot be read"};
    if (previous) {
        if (auto kept = db.replaceFile(path + ".bak", previous); !kept.ok)
            return {false, "unable to keep a copy of the local database (" + path +
                               ".bak: " + kept.error + ")"};
    }
    auto replaced = db.replaceFile(path, databaseText(backup.records));
    if (!replaced.ok) replaced.error = path + ": " + replaced.error;
    else if (keptCopy) *keptCopy = previous.has_value();
    return replaced;
}

}  // namespace nms::plant
