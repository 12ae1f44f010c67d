#pragma once

class QWidget;

namespace nms::ui {

// A control that changes something the moment its value changes (the attenuation goes on air at
// once) must not move under a wheel that only passes over it on the way down a form. A guarded
// control takes the wheel only while it has the keyboard focus; otherwise the wheel scrolls the
// scroll area around it, as in any form. The control takes the focus from Tab or a click, never
// from the wheel.
void guardWheel(QWidget* control);

}  // namespace nms::ui
