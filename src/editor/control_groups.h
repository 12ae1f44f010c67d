#pragma once

#include <initializer_list>

#include "ports/controls.h"

namespace nms::editor {

// The rules enable and grey controls in groups (a field with its caption and unit label).
inline void enable(std::initializer_list<ports::Control*> controls, bool on) {
    for (auto* c : controls) c->setEnabled(on);
}

}  // namespace nms::editor
