#pragma once

#include <optional>
#include <string>

// What the save asks of the addresses beyond their format: a configuration the element cannot
// live with takes it off the network, and the station can no longer reach it to put it right.
namespace nms::editor {

// What the stream address of a configuration is to the element.
enum class StreamAddress {
    Decoder,    // an encoder sending unicast: the decoder it sends to
    Multicast,  // the group sent to or joined
    NotJudged,  // a decoder receiving unicast: not where anything is sent
};

// The four address texts of a configuration, each a valid dotted text.
struct ElementAddresses {
    std::string ip, mask, gateway, stream;
    StreamAddress streamKind = StreamAddress::Decoder;
};

// The first line of the refusal for the first address the element could not use, naming the
// field; nothing when all are usable. The mask is judged first, as the others depend on it.
std::optional<std::string> addressRefusal(const ElementAddresses& a);

// The question to ask before sending a gateway the element cannot reach directly; nothing for a
// gateway inside the element's subnet, or 0.0.0.0 (no gateway).
std::optional<std::string> gatewayQuestion(const ElementAddresses& a);

}  // namespace nms::editor
