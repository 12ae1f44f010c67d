#include "protocol/configuration.h"

#include "protocol/address.h"
#include "protocol/audio_types.h"
#include "protocol/text.h"

namespace nms::protocol {

using namespace configuration;

std::array<std::uint8_t, kNameLength> configurationName(std::string_view utf8) {
    const auto bytes = text::utf8ToBytes(FormatElementName(utf8));
    std::array<std::uint8_t, kNameLength> out{};
    out.fill(' ');
    for (std::size_t i = 0; i < out.size() && i < bytes.size(); ++i) out[i] = bytes[i];
    return out;
}

std::optional<std::uint32_t> unsendableNameCharacter(std::string_view utf8) {
    const std::string sent = FormatElementName(utf8);
    for (std::size_t i = 0; i < sent.size();) {
        const std::uint32_t cp = text::nextCodePoint(sent, i);
        const bool printableLatin1 = (cp >= 0x20 && cp <= 0x7E) || (cp >= 0xA0 && cp <= 0xFF);
        if (!printableLatin1) return cp;
    }
    return std::nullopt;
}

std::vector<std::uint8_t> encodeConfiguration(const ConfigurationFields& f, bool decoderLayout, float v) {
    std::size_t length = 0;
    if (decoderLayout) {
        length = v > 3.69f ? kDecoderLong : kDecoderShort;
    } else if (v < 3.49f) {
        length = kEncoderShort;
    } else if (v < 3.7f) {
        length = kEncoderMiddle;
    } else {
        length = kEncoderLong;
    }
    std::vector<std::uint8_t> d(length, 0);
    // The length follows one set of bounds and the optional bytes another (above 3.48, above
    // 3.69); for a version between them a byte would fall past the end, so it is left out.
    auto put = [&d](std::size_t at, std::uint8_t value) {
        if (at < d.size()) d[at] = value;
    };
    auto put4 = [&d](std::size_t at, const std::array<std::uint8_t, 4>& b) {
        for (std::size_t i = 0; i < 4; ++i) d[at + i] = b[i];
    };
    put4(kIp, f.ip);
    put4(kMask, f.mask);
    put4(kGateway, f.gateway);
    put4(kRemote, f.remote);
    d[kInput] = f.input;
    std::uint8_t type = f.typeCode & kTypeCodeMask;
    if (v > 3.69f) {
        if (f.narrowband) type |= kTypeNarrowBand;
        if (f.flac) type |= kTypeFlac;
    }
    d[kType] = type;
    d[kTx] = f.tx;
    d[kSfn] = f.sfn;
    for (std::size_t i = 0; i < kNameLength; ++i) d[kName + i] = f.name[i];
    if (decoderLayout) {
        d[kDecBuffer] = f.buffer;
        d[kDecSilenceMode] = f.silenceMode;
        d[kDecSilenceLevel] = f.silenceLevel;
        d[kDecSilenceTime] = f.silenceTime;
        d[kDecLowLatency] = f.lowLatency;
        if (v > 3.69f) put(kDecSampleWidth, f.sampleWidth);
    } else {
        d[kEncLowLatency] = f.lowLatency;
        if (v > 3.48f) put(kEncConstant, 1);
        if (v > 3.69f) put(kEncSampleWidth, f.sampleWidth);
    }
    return d;
}

std::optional<DecodedConfiguration> decodeConfiguration(std::span<const std::uint8_t> d, bool decoderLayout) {
    if (d.size() < (decoderLayout ? kDecoderShort : kEncoderShort)) return std::nullopt;
    DecodedConfiguration out;
    ConfigurationFields& f = out.fields;
    auto get4 = [&d](std::size_t at, std::array<std::uint8_t, 4>& b) {
        for (std::size_t i = 0; i < 4; ++i) b[i] = d[at + i];
    };
    get4(kIp, f.ip);
    get4(kMask, f.mask);
    get4(kGateway, f.gateway);
    get4(kRemote, f.remote);
    f.input = d[kInput];
    f.typeCode = d[kType] & kTypeCodeMask;
    f.narrowband = (d[kType] & kTypeNarrowBand) != 0;
    f.flac = (d[kType] & kTypeFlac) != 0;
    f.tx = d[kTx];
    f.sfn = d[kSfn];
    for (std::size_t i = 0; i < kNameLength; ++i) f.name[i] = d[kName + i];
    if (decoderLayout) {
        f.buffer = d[kDecBuffer];
        f.silenceMode = d[kDecSilenceMode];
        f.silenceLevel = d[kDecSilenceLevel];
        f.silenceTime = d[kDecSilenceTime];
        f.lowLatency = d[kDecLowLatency];
        if (d.size() > kDecSampleWidth) {
            f.sampleWidth = d[kDecSampleWidth];
            out.hasSampleWidth = true;
        }
    } else {
        f.lowLatency = d[kEncLowLatency];
        out.hasConstant = d.size() > kEncConstant;
        if (d.size() > kEncSampleWidth) {
            f.sampleWidth = d[kEncSampleWidth];
            out.hasSampleWidth = true;
        }
    }
    return out;
}

}  // namespace nms::protocol
