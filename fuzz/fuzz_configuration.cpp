// The configuration packet: its length follows the layout and the firmware version, the element
// reads back what the station meant in that layout, and any datagram the element accepts is a
// fixed point of reading and building again.
#include <bit>
#include <cmath>
#include <cstring>

#include "fuzz_support.h"
#include "protocol/audio_types.h"
#include "protocol/configuration.h"

namespace {

using nms::fuzz::check;
using nms::protocol::ConfigurationFields;
namespace cfg = nms::protocol::configuration;

float versionFrom(nms::fuzz::Bytes& in) {
    // Mostly the thresholds and their neighbours; sometimes any single-precision value at all.
    static const float kVersions[] = {0.0f, 2.0f,  3.48f, 3.49f, 3.5f,   3.69f,
                                      3.7f, 3.71f, 3.8f,  4.0f,  99.99f, -1.0f};
    if (in.flag()) {
        // A version comes from a number in the record's text, which is never NaN.
        const float any = std::bit_cast<float>(in.u32());
        return std::isnan(any) ? 0.0f : any;
    }
    return kVersions[in.pick(std::size(kVersions))];
}

ConfigurationFields fieldsFrom(nms::fuzz::Bytes& in) {
    ConfigurationFields f;
    auto four = [&](std::array<std::uint8_t, 4>& a) {
        for (auto& b : a) b = in.byte();
    };
    four(f.ip), four(f.mask), four(f.gateway), four(f.remote);
    f.input = in.byte();
    f.typeCode = in.byte();
    const std::uint8_t flags = in.byte();
    f.narrowband = flags & 1, f.flac = flags & 2;
    f.tx = in.byte(), f.sfn = in.byte();
    for (auto& c : f.name) c = in.byte();
    f.lowLatency = in.byte(), f.sampleWidth = in.byte();
    f.buffer = in.byte(), f.silenceMode = in.byte(), f.silenceLevel = in.byte(),
    f.silenceTime = in.byte();
    return f;
}

std::size_t expectedLength(bool decoder, float v) {
    if (decoder) return v > 3.69f ? cfg::kDecoderLong : cfg::kDecoderShort;
    if (v < 3.49f) return cfg::kEncoderShort;
    if (v < 3.7f) return cfg::kEncoderMiddle;
    return cfg::kEncoderLong;
}

void checkBuild(const ConfigurationFields& f, bool decoder, float v) {
    const auto packet = nms::protocol::encodeConfiguration(f, decoder, v);
    check(packet.size() == expectedLength(decoder, v), "length by layout and version");
    const auto back = nms::protocol::decodeConfiguration(packet, decoder);
    check(back.has_value(), "the element accepts every packet the station builds");
    const ConfigurationFields& g = back->fields;
    check(g.ip == f.ip && g.mask == f.mask && g.gateway == f.gateway && g.remote == f.remote,
          "addresses");
    check(g.input == f.input && g.tx == f.tx && g.sfn == f.sfn && g.name == f.name,
          "common fields");
    check(g.typeCode == (f.typeCode & nms::protocol::kTypeCodeMask), "type code");
    const bool flagsCarried = v > 3.69f;
    check(g.narrowband == (flagsCarried && f.narrowband) && g.flac == (flagsCarried && f.flac),
          "type flags");
    check(g.lowLatency == f.lowLatency, "low latency");
    if (decoder) {
        check(g.buffer == f.buffer && g.silenceMode == f.silenceMode &&
                  g.silenceLevel == f.silenceLevel && g.silenceTime == f.silenceTime,
              "decoder settings");
    } else {
        check(back->hasConstant == (packet.size() > cfg::kEncConstant), "constant byte present");
        if (back->hasConstant)
            check(packet[cfg::kEncConstant] == 1, "the constant byte is 1 where present");
    }
    check(back->hasSampleWidth ==
              (packet.size() > (decoder ? cfg::kDecSampleWidth : cfg::kEncSampleWidth)),
          "sample width present");
    if (back->hasSampleWidth)
        check(g.sampleWidth == (v > 3.69f ? f.sampleWidth : 0), "sample width");
}

void checkElementReading(const std::vector<std::uint8_t>& datagram, bool decoder) {
    const auto read = nms::protocol::decodeConfiguration(datagram, decoder);
    const std::size_t shortest = decoder ? cfg::kDecoderShort : cfg::kEncoderShort;
    check(read.has_value() == (datagram.size() >= shortest), "refused only when too short");
    if (!read) return;
    // Built again in the longest layout and read once more, nothing changes.
    auto again = nms::protocol::decodeConfiguration(
        nms::protocol::encodeConfiguration(read->fields, decoder, 3.8f), decoder);
    check(again.has_value() && again->fields == read->fields,
          "reading and building is a fixed point");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    nms::fuzz::Bytes in(data, size);
    const bool decoder = in.flag();
    const float v = versionFrom(in);
    checkBuild(fieldsFrom(in), decoder, v);

    std::string name;
    for (auto b : in.take(in.byte() % 48)) name.push_back(static_cast<char>(b));
    const auto sent = nms::protocol::configurationName(name);
    // A character beyond Latin-1 goes out as the low byte of its code, which may be any byte;
    // a name of plain ASCII goes out upper case.
    bool ascii = true;
    for (char c : name) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        for (auto c : sent) check(c < 'a' || c > 'z', "a sent name is upper case");

    const bool readAsDecoder = in.flag();
    checkElementReading(in.rest(), readAsDecoder);
    return 0;
}
