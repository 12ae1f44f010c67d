#include "editor/save_configuration.h"

#include <cstdio>

#include "editor/record_values.h"
#include "editor/role_captions.h"
#include "ports/colors.h"
#include "protocol/address.h"
#include "protocol/element_key.h"
#include "protocol/text.h"
#include "store/element_record.h"
#include "store/profile_store.h"

namespace nms::editor {

namespace rec = store::record;
namespace def = store::record::defaults;

namespace {

// The character as the operator typed it, with its code, so that one that does not show (a
// control character, a look-alike) can still be found.
std::string refusedNameCharacter(std::uint32_t c) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    std::string shown;
    if (c >= 0x20 && (c < 0x7F || c > 0x9F)) {
        protocol::text::appendCodePoint(shown, c);
        shown = "\"" + shown + "\" ";
    }
    return "The element name cannot hold the character " + shown + "(" + code +
           "): only Latin-1 letters, digits and signs go to the element as they are.";
}

std::string normalisedAddress(const std::string& text) {
    return protocol::IsValidIP(text) ? protocol::FormatIP(protocol::IPBytes(text)) : text;
}

}  // namespace

ElementAddresses elementAddresses(const PropertiesPanel& p) {
    // An AES67 stream is a group whatever the TX type says. A decoder that receives unicast
    // keeps an address that is not where anything goes (often the group default, or 0.0.0.0).
    StreamAddress kind = StreamAddress::Multicast;
    if (p.cmbAudioTX.listIndex() != 1 &&
        !protocol::AudioTypeTable::isAes67Row(p.cmbAudioType.listIndex()))
        kind = sendsDecoderLayout(p) ? StreamAddress::NotJudged : StreamAddress::Decoder;
    return {p.txtElementIP.text(), p.txtElementMask.text(), p.txtElementGW.text(),
            p.txtRemoteIP.text(), kind};
}

std::optional<std::string> saveCheckFailure(const PropertiesPanel& p, store::ProfileStore& db,
                                            const std::string& databasePath) {
    if (p.lblElementMAC.caption() == captions::kNoElement) return "No Network Element selected!";
    if (p.cmbAudioTX.listIndex() < 0 || p.cmbAudioType.listIndex() < 0 ||
        p.cmbAudioInput.listIndex() < 0)
        return "Please verify that all audio fields are correct!";
    if (p.txtElementName.text().empty()) return "Please verify that the name field is correct!";
    if (const auto c = protocol::unsendableNameCharacter(p.txtElementName.text()))
        return refusedNameCharacter(*c);
    bool addressesValid = true;
    for (const ports::TextBox* box :
         {&p.txtElementIP, &p.txtElementMask, &p.txtElementGW, &p.txtRemoteIP})
        addressesValid = protocol::IsValidIP(box->text()) && addressesValid;
    // With an AES67 type the stream address comes from the channel; while the channel box says
    // the channel is unusable, the address beside it is a stale one and must not go on air.
    const bool channelUnusable = protocol::AudioTypeTable::isAes67Row(p.cmbAudioType.listIndex()) &&
                                 p.txtAES67Channel.backColor() == ports::kLightRed;
    if (!addressesValid || channelUnusable) return "Please verify that all IP fields are correct!";
    if (auto refusal = addressRefusal(elementAddresses(p))) return refusal;
    if (!db.fileExists(databasePath)) return "The local database in your computer, is corrupted!";
    return std::nullopt;
}

std::string OtherRecord::label() const {
    const std::string n = protocol::text::trim(name);
    const std::string mac = protocol::ElementIdentity(section);
    return n.empty() ? (mac.empty() ? section : mac)
                     : n + " (" + (mac.empty() ? section : mac) + ")";
}

namespace {

// The first other record whose value of `key`, read through `same`, matches.
template <typename Same>
std::optional<OtherRecord> otherRecordWith(store::ProfileStore& db, const std::string& path,
                                           std::string_view shownSection,
                                           std::string_view allowedSection, std::string_view key,
                                           Same same) {
    std::vector<std::string> sections;
    db.LoadIniSectionsLB(sections, path);
    const std::string shown = protocol::text::toUpper(shownSection);
    const std::string allowed = protocol::text::toUpper(allowedSection);
    for (const auto& s : sections) {
        const std::string upper = protocol::text::toUpper(s);
        if (upper == shown || (!allowed.empty() && upper == allowed)) continue;
        if (same(db.ReadFromINI(s, std::string(key), path, "")))
            return OtherRecord{s, db.ReadFromINI(s, std::string(rec::kName), path, "")};
    }
    return std::nullopt;
}

}  // namespace

std::optional<OtherRecord> addressHolder(const PropertiesPanel& p, store::ProfileStore& db,
                                         const std::string& path,
                                         std::string_view allowedSection) {
    const std::string ip = p.txtElementIP.text();
    if (!protocol::IsValidIP(ip)) return std::nullopt;
    const std::string section = protocol::ElementKey(p.lblElementMAC.caption());
    const std::string wanted = normalisedAddress(ip);
    if (normalisedAddress(protocol::text::trim(db.ReadFromINI(section, std::string(rec::kIp), path,
                                                              ""))) == wanted)
        return std::nullopt;
    return otherRecordWith(db, path, section, allowedSection, rec::kIp, [&](const std::string& v) {
        return normalisedAddress(protocol::text::trim(v)) == wanted;
    });
}

std::string addressTakenRefusal(const std::string& ip, const OtherRecord& holder) {
    return "The IP address " + normalisedAddress(ip) + " is that of " + holder.label() +
           " in the local database: two elements at one address both drop off the network.";
}

std::optional<OtherRecord> nameHolder(const PropertiesPanel& p, store::ProfileStore& db,
                                      const std::string& path, std::string_view allowedSection) {
    const std::string section = protocol::ElementKey(p.lblElementMAC.caption());
    const auto folded = [](const std::string& n) {
        return protocol::text::toUpper(protocol::text::trim(n));
    };
    const std::string wanted = folded(protocol::FormatElementName(p.txtElementName.text()));
    if (wanted.empty() ||
        folded(db.ReadFromINI(section, std::string(rec::kName), path, "")) == wanted)
        return std::nullopt;
    return otherRecordWith(db, path, section, allowedSection, rec::kName,
                           [&](const std::string& v) { return folded(v) == wanted; });
}

std::string sharedNameQuestion(const std::string& name, const OtherRecord& holder) {
    return "The name " + protocol::text::trim(protocol::FormatElementName(name)) +
           " is already that of " + holder.label() +
           ".\rTwo elements of one name are easily taken for each other. Give it all the same?";
}

float configurationVersion(std::string_view versionText) {
    return static_cast<float>(protocol::text::leadingNumber(versionText));
}

bool sendsDecoderLayout(const PropertiesPanel& panel) {
    return panel.lblElementType.caption() == captions::kDecoder;
}

namespace {

std::uint8_t byteOf(int value) {
    return static_cast<std::uint8_t>(value < 0 ? 0 : value & 0xFF);
}

std::string onOff(bool on) {
    return on ? "on" : "off";
}

std::string itemOr(const ports::ListControl& list, int index, const std::string& fallback) {
    if (index >= 0 && index < list.listCount())
        return list.items()[static_cast<std::size_t>(index)];
    return fallback;
}

}  // namespace

protocol::ConfigurationFields configurationFromPanel(const PropertiesPanel& p,
                                                     const protocol::AudioTypeTable& types) {
    protocol::ConfigurationFields f;
    f.ip = protocol::IPBytes(p.txtElementIP.text());
    f.mask = protocol::IPBytes(p.txtElementMask.text());
    f.gateway = protocol::IPBytes(p.txtElementGW.text());
    f.remote = protocol::IPBytes(p.txtRemoteIP.text());
    f.input = byteOf(p.cmbAudioInput.listIndex());
    const int row = p.cmbAudioType.listIndex();
    if (row >= 0 && row < protocol::kAudioTypeRows) {
        f.typeCode = static_cast<std::uint8_t>(types.row(row).code);
        f.sampleWidth = static_cast<std::uint8_t>(types.row(row).width);
    }
    f.narrowband = p.chkNarrowBand.checked();
    f.flac = p.chkEnableFLAC.checked();
    f.tx = byteOf(p.cmbAudioTX.listIndex());
    f.sfn = byteOf(p.chkSFNEnabled.value());
    f.name = protocol::configurationName(p.txtElementName.text());
    f.lowLatency = byteOf(p.chkLowLatency.value());
    f.buffer = byteOf(p.scrlBuffer.value());
    f.silenceMode = byteOf(p.cmbSilDetMode.listIndex());
    f.silenceLevel = byteOf(p.scrlSilDetLevel.value());
    f.silenceTime = byteOf(p.scrlSilDetTime.value());
    return f;
}

std::vector<SettingChange> configurationChanges(const PropertiesPanel& p,
                                                const protocol::AudioTypeTable& types,
                                                const RecordReader& stored) {
    std::vector<SettingChange> out;
    auto note = [&out](std::string_view key, const char* label, std::string from, std::string to) {
        if (from != to) out.push_back({std::string(key), label, std::move(from), std::move(to)});
    };
    auto storedIndex = [&](std::string_view key, std::string_view fallback,
                           const ports::ListControl& list) {
        return values::listIndexFrom(stored(key, fallback), list.listCount());
    };
    auto storedNumber = [&](std::string_view key, std::string_view fallback) {
        const auto v = values::readNumber(stored(key, fallback));
        return v ? protocol::text::shortestNumber(*v) : std::string(stored(key, fallback));
    };
    auto storedFlag = [&](std::string_view key, std::string_view fallback) {
        return onOff(values::checkValueFrom(stored(key, fallback)) == 1);
    };
    const bool decoder = sendsDecoderLayout(p);

    note(rec::kName, "Name", protocol::text::trim(stored(rec::kName, "")),
         protocol::text::trim(protocol::FormatElementName(p.txtElementName.text())));
    note(rec::kIp, "IP address", normalisedAddress(stored(rec::kIp, "")),
         normalisedAddress(p.txtElementIP.text()));
    note(rec::kMask, "Subnet mask", normalisedAddress(stored(rec::kMask, "")),
         normalisedAddress(p.txtElementMask.text()));
    note(rec::kGateway, "Gateway", normalisedAddress(stored(rec::kGateway, "")),
         normalisedAddress(p.txtElementGW.text()));
    note(rec::kInput, "Audio input",
         itemOr(p.cmbAudioInput, storedIndex(rec::kInput, "", p.cmbAudioInput), "-"),
         itemOr(p.cmbAudioInput, p.cmbAudioInput.listIndex(), "-"));

    const auto typeByte = values::readNumber(stored(rec::kType, ""));
    std::string storedType = "-";
    bool storedNarrow = false;
    if (typeByte && *typeByte >= 0 && *typeByte <= 255) {
        const auto byte = static_cast<std::uint8_t>(values::roundHalfEven(*typeByte));
        storedType = itemOr(p.cmbAudioType, types.rowForTypeByte(byte), "-");
        storedNarrow = (byte & protocol::kTypeNarrowBand) != 0;
    }
    note(rec::kType, "Audio type", storedType,
         itemOr(p.cmbAudioType, p.cmbAudioType.listIndex(), "-"));
    note(rec::kType, "Narrowband", onOff(storedNarrow), onOff(p.chkNarrowBand.checked()));

    const int storedTx = storedIndex(rec::kTx, "", p.cmbAudioTX);
    note(rec::kTx, "TX type", itemOr(p.cmbAudioTX, storedTx, "-"),
         itemOr(p.cmbAudioTX, p.cmbAudioTX.listIndex(), "-"));
    // The stream address is kept under the key of the kind of stream being sent.
    const auto streamKey = rec::streamAddressKey(p.cmbAudioTX.listIndex(),
                                                 decoder ? rec::kRoleDecoder : rec::kRoleEncoder);
    const bool multicast = streamKey == rec::kMulticast;
    note(streamKey, multicast ? "Multicast address" : "Decoder address",
         normalisedAddress(stored(streamKey, multicast ? def::kMulticast : def::kRemote)),
         normalisedAddress(p.txtRemoteIP.text()));
    note(rec::kSfn, "SFN", storedFlag(rec::kSfn, def::kSfn), onOff(p.chkSFNEnabled.checked()));
    note(rec::kLowLatency, "Low latency", storedFlag(rec::kLowLatency, def::kLowLatency),
         onOff(p.chkLowLatency.checked()));
    if (decoder) {
        note(rec::kBuffer, "Buffer", storedNumber(rec::kBuffer, def::kBuffer),
             std::to_string(p.scrlBuffer.value()));
        note(rec::kSilenceMode, "Audio routing",
             itemOr(p.cmbSilDetMode,
                    storedIndex(rec::kSilenceMode, def::kSilenceMode, p.cmbSilDetMode), "-"),
             itemOr(p.cmbSilDetMode, p.cmbSilDetMode.listIndex(), "-"));
        note(rec::kSilenceLevel, "Threshold", storedNumber(rec::kSilenceLevel, def::kSilenceLevel),
             std::to_string(p.scrlSilDetLevel.value()));
        note(rec::kSilenceTime, "Timeout", storedNumber(rec::kSilenceTime, def::kSilenceTime),
             std::to_string(p.scrlSilDetTime.value()));
    }
    return out;
}

std::string describeChanges(const std::vector<SettingChange>& changes) {
    if (changes.empty()) return "No setting differs from the stored record.";
    std::string text;
    for (const auto& c : changes) {
        if (!text.empty()) text += "\r";
        text += c.label + ": " + c.from + " \u2192 " + c.to;
    }
    return text;
}

}  // namespace nms::editor
