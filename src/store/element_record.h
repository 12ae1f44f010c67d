#pragma once

#include <optional>
#include <string>
#include <string_view>

// The element record: one section of the database per element, named by its element key, with
// text values. Every key name and reader's default lives here and nowhere else.
namespace nms::store::record {

// Keys, as every user names them (the file holds them upper-cased).
inline constexpr std::string_view kName = "name";
inline constexpr std::string_view kIp = "ip";
inline constexpr std::string_view kMask = "mask";
inline constexpr std::string_view kGateway = "gw";
inline constexpr std::string_view kInput = "input";
inline constexpr std::string_view kType = "type";
inline constexpr std::string_view kTx = "tx";
inline constexpr std::string_view kMulticast = "multi";
inline constexpr std::string_view kRemote = "remote";
inline constexpr std::string_view kRole = "role";
inline constexpr std::string_view kSerial = "sn";
inline constexpr std::string_view kVersion = "ver";
inline constexpr std::string_view kSfn = "sfn";
inline constexpr std::string_view kBuffer = "buf";
inline constexpr std::string_view kSilenceMode = "sdm";
inline constexpr std::string_view kSilenceLevel = "sdl";
inline constexpr std::string_view kSilenceTime = "sdt";
inline constexpr std::string_view kDelay = "dly";
inline constexpr std::string_view kAttenuation = "att";
inline constexpr std::string_view kLowLatency = "llo";
inline constexpr std::string_view kServo = "srv";
inline constexpr std::string_view kBound = "bound";

// Roles as stored under `role`.
inline constexpr int kRoleEncoder = 1;
inline constexpr int kRoleDecoder = 2;
// The key that keeps an element's stream address: a decoder, and an encoder that sends
// multicast, keep their group under `multi`; an encoder sending unicast keeps its decoder's
// address under `remote`.
inline constexpr std::string_view streamAddressKey(int tx, int role) {
    return (tx != 0 || role == kRoleDecoder) ? kMulticast : kRemote;
}

// Readers' defaults where a key is missing. Keys read without a default read as empty text.
namespace defaults {
inline constexpr std::string_view kMulticast = "239.255.255.239";
inline constexpr std::string_view kRemote = "192.168.1.91";
inline constexpr std::string_view kVersionShown = "2.00";   // the editor's version label
inline constexpr std::string_view kVersionForSend = "2.0";  // the configuration packet's layout
inline constexpr std::string_view kSfn = "0";
inline constexpr std::string_view kBuffer = "1";
inline constexpr std::string_view kSilenceMode = "0";
inline constexpr std::string_view kSilenceLevel = "37";
inline constexpr std::string_view kSilenceTime = "43";
inline constexpr std::string_view kDelay = "0";
inline constexpr std::string_view kAttenuationDecoder = "0";
inline constexpr std::string_view kAttenuationEncoder = "255";
inline constexpr std::string_view kLowLatency = "0";
inline constexpr std::string_view kServo = "0";
inline constexpr std::string_view kBound = "0";
}  // namespace defaults

// Key-count limits: the feedback handler refuses to update a record of this many keys or more;
// the editor refuses to load a record of more than kMaxKeysForLoad keys.
inline constexpr int kMaxKeysForFeedback = 21;
inline constexpr int kMaxKeysForLoad = 22;

// The database file's name.
inline constexpr std::string_view kDatabaseFileName = "nms.ini";

}  // namespace nms::store::record

namespace nms::protocol {
struct FeedbackRecord;
}

namespace nms::store {

class ProfileStore;

// One element's record as the station writes it. A field that holds nothing is left as it is in
// the file; the others are written in this order (a key the section does not have yet goes to
// its end), which is the order of a record made from a paging answer.
struct ElementRecord {
    std::optional<std::string> name, ip, mask, gateway;
    std::optional<long long> input, type, tx;
    // The stream address, under the key the element keeps it (record::streamAddressKey).
    std::optional<std::string> remote, multicast;
    std::optional<long long> role, serial;
    std::optional<std::string> version;
    std::optional<long long> sfn, buffer, silenceMode, silenceLevel, silenceTime, delay,
        attenuation, lowLatency;

    // Sets the stream address under the key an element of this TX type and role keeps it.
    void setStreamAddress(int tx, int role, std::string address);
};

// The whole record an element's paging answer makes, from the address that answered (only a
// decoder has a silence detector and a delay).
ElementRecord recordFromAnswer(const protocol::FeedbackRecord& answer, const std::string& ip);

// An element's kind, as its record stores it under `role`.
enum class Role { Unknown = 0, Encoder = record::kRoleEncoder, Decoder = record::kRoleDecoder };

// One element's record as every layer reads it, each value as its type. A number may have blanks
// around it; one that is not whole, or no number at all, reads as absent. The role is read as the
// editor reads it (1 and 2, "2.0" too; anything else is Unknown), so the monitor, the statistics
// and SFN windows and the plant tools take an element for the kind the window shows. The other
// numbers are stricter than the editor's controls, which round a hand-edited fraction.
struct StoredElement {
    std::string section;
    std::string name, ip;            // blanks around them removed
    std::string serial, version;     // as stored
    Role role = Role::Unknown;
    std::optional<int> tx, sfn, silenceMode, delay, attenuation;
    // Where it sends or receives its stream (record::streamAddressKey), blanks removed, or the
    // reader's default when the key is missing.
    std::string streamAddress;

    bool isDecoder() const { return role == Role::Decoder; }
    // SFN takes the flag 1: another number is a damaged record, not an SFN element.
    bool sfnEnabled() const { return sfn == 1; }
};

// The element's record as typed values: one walk over its section.
StoredElement readElementRecord(ProfileStore& db, const std::string& path, const std::string& section);

// Writes the fields the record holds into the element's section.
void writeElementRecord(ProfileStore& db, const std::string& path, const std::string& section,
                        const ElementRecord& record);

}  // namespace nms::store
