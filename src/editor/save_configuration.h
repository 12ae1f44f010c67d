#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/address_checks.h"
#include "editor/properties_panel.h"
#include "protocol/audio_types.h"
#include "protocol/configuration.h"
#include "store/profile_store.h"

// The gate in front of a configuration send, and what the send is built from: the editor's
// controls, checked, turned into the packet's fields, and compared with the stored record so the
// operator sees what is about to change on air.
namespace nms::editor {

inline constexpr std::string_view kSaveConfirmation =
    "This configuration will be sent to selected Network Element and\r"
    "will also be saved to local database in your computer. \r"
    "Are you sure?";
inline constexpr std::string_view kSaveConfirmationTitle = "Send configuration";
inline constexpr std::string_view kSaveErrorTitle = "Error!";
inline constexpr std::string_view kCannotSave = "Cannot save.";

// The four addresses of the configuration (the format check has passed) and the kind of stream.
ElementAddresses elementAddresses(const PropertiesPanel& panel);

// The first line of the message of the first check that fails, in the checks' order; nothing
// when the editor holds a complete, well-formed configuration and the database file exists.
// Besides the format, the name must hold only characters the element keeps as they are, and
// the addresses must leave the element reachable (addressRefusal).
std::optional<std::string> saveCheckFailure(const PropertiesPanel& panel, store::ProfileStore& db,
                                            const std::string& databasePath);

// An address or name that another record of the database holds: its section and its name.
struct OtherRecord {
    std::string section, name;
    // "TX NORTH (00:1A:2B:50:00:31)"
    std::string label() const;
};

// The record, other than the shown element's and `allowed`, that holds the IP address the panel
// is about to give the shown element; nothing when the address does not change or no other
// record holds it. Two elements at one address both drop off the network.
std::optional<OtherRecord> addressHolder(const PropertiesPanel& panel, store::ProfileStore& db,
                                         const std::string& databasePath,
                                         std::string_view allowedSection = {});
std::string addressTakenRefusal(const std::string& ip, const OtherRecord& holder);
// The record, other than the shown element's, that holds the name the panel is about to give
// it (blanks and case aside); nothing when the name does not change or is the element's alone.
std::optional<OtherRecord> nameHolder(const PropertiesPanel& panel, store::ProfileStore& db,
                                      const std::string& databasePath,
                                      std::string_view allowedSection = {});
std::string sharedNameQuestion(const std::string& name, const OtherRecord& holder);

// The firmware version as the packet layouts compare it: one single-precision number, read
// with "." as the decimal point whatever the user's locale ("3.70" is 3.7). Text that is no
// number reads as 0, which selects the oldest layout.
float configurationVersion(std::string_view versionText);

// The decoder layout goes to an element shown as "DECODER"; every other caption gets the
// encoder's.
bool sendsDecoderLayout(const PropertiesPanel& panel);

// The packet's fields from the controls (the checks have passed: the lists have a selection and
// the four addresses are valid).
protocol::ConfigurationFields configurationFromPanel(const PropertiesPanel& panel,
                                                     const protocol::AudioTypeTable& types);

// One setting that differs between the stored record and what is about to be sent.
struct SettingChange {
    std::string key;    // the record's key
    std::string label;  // what the operator calls it
    std::string from;
    std::string to;
};

// Reads a value of the shown element's record, with the given fallback.
using RecordReader = std::function<std::string(std::string_view key, std::string_view fallback)>;

std::vector<SettingChange> configurationChanges(const PropertiesPanel& panel, const protocol::AudioTypeTable& types,
                                                const RecordReader& stored);

// One line per change ("Name: STUDIO A → STUDIO B"), or the sentence that says none differs.
std::string describeChanges(const std::vector<SettingChange>& changes);

}  // namespace nms::editor
