#pragma once

#include <QString>

#include "ports/controls.h"

namespace nms::ui {

// Widgets are named after their controls, so that tests and style sheets find them by the
// station's own names.
template <class W>
W* named(W* widget, const ports::Control& control) {
    widget->setObjectName(QString::fromStdString(control.name()));
    return widget;
}

}  // namespace nms::ui
