#pragma once

#include <optional>
#include <string>

// What the save asks of the addresses beyond their format: a configuration the element cannot
// live with takes it off the network, and the station can no longer reach it to put it right.
namespace nms::editor {

// The four address texts of a configuration, each a valid dotted text.
struct ElementAddresses {
    std::string ip, mask, gateway, stream;
    bool multicastStream = false;  // the stream address is a group, not a decoder
};

// The first line of the refusal for the first address the element could not use, naming the
// field; nothing when all are usable. The mask is judged first, as the others depend on it.
std::optional<std::string> addressRefusal(const ElementAddresses& a);

// The question to ask before sending a gateway the element cannot reach directly; nothing for a
// gateway inside the element's subnet, or 0.0.0.0 (no gateway).
std::optional<std::string> gatewayQuestion(const ElementAddresses& a);

}  // namespace nms::editor
