#pragma once

namespace nms::ports {

// Who changed a control's value. Program code and the operator both run the control's change
// event; rules that must act only on an operator's move (sending the level to an element) look
// at this.
enum class Origin { Program, Operator };

}  // namespace nms::ports
