#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sim/element.h"

// How the element daemon is told what to simulate: the same keys on the command line
// ("--role decoder --ip 10.0.0.2") and in a file of one element per line
// ("role=decoder ip=10.0.0.2 name=\"TX NORTH\"", "#" starts a comment).
//
// Keys: role (encoder|decoder), name, ip, mask, gw, mac, serial, fw (3.70), tx, sfn, remote,
// type (type byte), input, level, buffer, llo, delay (ns), servo, drop (answers to drop, -1 all),
// delay-ms (answers held back), twice (answer twice, 0|1), keep-delay (the delay set command is
// not taken, 0|1), net-delay (ns: the network delay an SFN decoder measures, held still).
namespace nms::sim {

struct ElementDefinition {
    ElementIdentity identity;
    ElementSettings settings;
    Faults faults;
    bool ipGiven = false, macGiven = false, serialGiven = false, maskGiven = false, gatewayGiven = false;
};

// Applies one key; false with a reason for an unknown key or a value it cannot take.
bool applyElementOption(ElementDefinition& definition, const std::string& key, const std::string& value, std::string& error);

// One line of a configuration file: nothing for a blank or comment line, an error text for a
// bad one.
struct LineResult {
    std::optional<ElementDefinition> definition;
    std::string error;
};
LineResult parseElementLine(const std::string& line);

// Fills what was not given: a MAC and serial number derived from the address, so that several
// elements of one file never share them, and a gateway at the first address of the network.
void completeElementDefinition(ElementDefinition& definition);

// "3.70" or "3.7" → 3, 70; "3.07" → 3, 7.
bool parseFirmware(const std::string& text, std::uint8_t& major, std::uint8_t& minor);

}  // namespace nms::sim
