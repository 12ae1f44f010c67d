#include "store/element_record.h"

#include "protocol/address.h"
#include "protocol/feedback.h"
#include "store/profile_store.h"

namespace nms::store {

void ElementRecord::setStreamAddress(int txType, int elementRole, std::string address) {
    if (record::streamAddressKey(txType, elementRole) == record::kMulticast)
        multicast = std::move(address);
    else
        remote = std::move(address);
}

ElementRecord recordFromAnswer(const protocol::FeedbackRecord& f, const std::string& ip) {
    ElementRecord r;
    r.name = protocol::FormatElementName(f.name);
    r.ip = ip;
    r.mask = f.mask;
    r.gateway = f.gateway;
    r.input = f.input;
    r.type = f.type;
    r.tx = f.tx;
    r.setStreamAddress(f.tx, f.role, f.remote);
    r.role = f.role;
    r.serial = f.sn;
    r.version = f.versionText();
    r.sfn = f.sfn;
    r.buffer = f.buf;
    if (f.role == record::kRoleDecoder) {
        r.silenceMode = f.sdm;
        r.silenceLevel = f.sdl;
        r.silenceTime = f.sdt;
        r.delay = f.dly;
    }
    r.attenuation = f.att;
    r.lowLatency = f.llo;
    return r;
}

void writeElementRecord(ProfileStore& db, const std::string& path, const std::string& section,
                        const ElementRecord& r) {
    namespace k = record;
    auto text = [&](std::string_view key, const std::optional<std::string>& value) {
        if (value) db.WriteToINI(section, std::string(key), *value, path);
    };
    auto number = [&](std::string_view key, const std::optional<long long>& value) {
        if (value) db.WriteToINI(section, std::string(key), std::to_string(*value), path);
    };
    text(k::kName, r.name);
    text(k::kIp, r.ip);
    text(k::kMask, r.mask);
    text(k::kGateway, r.gateway);
    number(k::kInput, r.input);
    number(k::kType, r.type);
    number(k::kTx, r.tx);
    text(k::kRemote, r.remote);
    text(k::kMulticast, r.multicast);
    number(k::kRole, r.role);
    number(k::kSerial, r.serial);
    text(k::kVersion, r.version);
    number(k::kSfn, r.sfn);
    number(k::kBuffer, r.buffer);
    number(k::kSilenceMode, r.silenceMode);
    number(k::kSilenceLevel, r.silenceLevel);
    number(k::kSilenceTime, r.silenceTime);
    number(k::kDelay, r.delay);
    number(k::kAttenuation, r.attenuation);
    number(k::kLowLatency, r.lowLatency);
}

}  // namespace nms::store
