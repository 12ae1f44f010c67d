#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QString>

#include "ports/controls.h"
#include "ui/bindings.h"

namespace nms::ui {

// Widgets are named after their controls, so that tests and style sheets find them by the
// station's own names.
template <class W>
W* named(W* widget, const ports::Control& control) {
    widget->setObjectName(QString::fromStdString(control.name()));
    return widget;
}

// A label drawn for its control.
inline QLabel* boundLabel(ports::Label& model, QWidget* owner) {
    auto* w = named(new QLabel(owner), model);
    bind(w, model);
    return w;
}

// A frame drawn for its control, its caption the control's.
inline QGroupBox* boundGroupBox(ports::Label& model, QWidget* owner) {
    auto* w = named(new QGroupBox(owner), model);
    bind(w, model);
    return w;
}

// The caption of `field`: its access key moves the focus to the field.
inline QLabel* captionFor(QWidget* field, const QString& text, QWidget* owner) {
    auto* caption = new QLabel(text, owner);
    caption->setBuddy(field);
    return caption;
}

// A figure the station shows: it can be selected and copied, and keeps its width as it changes.
inline QLabel* boundFigure(ports::Label& model, QWidget* owner, int minimumWidth) {
    auto* w = boundLabel(model, owner);
    w->setTextInteractionFlags(Qt::TextSelectableByMouse);
    w->setMinimumWidth(minimumWidth);
    return w;
}

}  // namespace nms::ui
