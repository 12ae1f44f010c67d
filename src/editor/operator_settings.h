#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/element_editor.h"
#include "editor/properties_panel.h"
#include "protocol/audio_types.h"

// A setting of a record put into the shown element's control as an operator would put it, so
// that every rule of the editor runs and the control is marked as changed: the command line's
// KEY=VALUE and a record applied to a replacement unit both come this way.
namespace nms::editor {

// The keys a configuration carries, in the record's order: the type and the kind of stream come
// before the address they decide.
const std::vector<std::string_view>& settableKeys();

struct OperatorSetting {
    // A setting the shown element has no control for in its present layout (an encoder's
    // silence detector, a threshold the routing mode does not use) is left out, not refused.
    bool leaveOutWhatDoesNotApply = false;
    // The FLAC flag (128) of a type follows the element: keep the shown element's instead of
    // refusing a type whose flag differs.
    bool keepFlacFlag = false;
};

// Applies one setting to its control; the refusal's words when the control cannot take it.
std::optional<std::string> setAsOperator(PropertiesPanel& panel, ElementEditor& editor,
                                         const protocol::AudioTypeTable& types,
                                         std::string_view key, const std::string& value,
                                         OperatorSetting how = {});

}  // namespace nms::editor
