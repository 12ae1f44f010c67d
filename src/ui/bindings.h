#pragma once

// Binding a widget to its window-model control. Each widget is bound once: every change of the
// model is mirrored into the widget (with the widget's signals blocked, so a mirrored value never
// comes back as an operator's action), and the widget's user signals become calls on the model
// with Origin::Operator, delivered through the event gate so that they never run inside another
// event. No rule of the station lives here.
//
// A binding lives as long as its widget. The model may go first only once no more operator
// actions can arrive (the window is closed).

#include <QColor>
#include <QPalette>

#include "ports/colors.h"
#include "ports/controls.h"
#include "ports/event_gate.h"

class QAbstractButton;
class QAbstractSlider;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolBar;
class QTreeWidget;
class QWidget;

namespace nms::ui {

class LevelBar;

// A model colour (0xBBGGRR, system colours flagged by the top bit) on this palette.
QColor colorOf(ports::Color color, const QPalette& palette);

void bind(QLabel* widget, ports::Label& model);
// A frame whose caption is a label of the model.
void bind(QGroupBox* widget, ports::Label& model);
// A window whose title is a label of the model.
void bindTitle(QWidget* window, ports::Label& model);

void bind(QLineEdit* widget, ports::TextBox& model, ports::EventGate& gate);
void bind(QComboBox* widget, ports::ListControl& model, ports::EventGate& gate);
void bind(QCheckBox* widget, ports::CheckBox& model, ports::EventGate& gate);
void bind(QAbstractSlider* widget, ports::ScrollBar& model, ports::EventGate& gate);
void bind(QAbstractButton* widget, ports::Button& model, ports::EventGate& gate);
void bind(LevelBar* widget, ports::ImageBar& model);
// Pictures come from the main window's image list (pictureIcon).
void bind(QTreeWidget* widget, ports::TreeView& model, ports::EventGate& gate);
// The toolbar's items are placed before any widget or action already in the toolbar.
void bind(QToolBar* widget, ports::Toolbar& model, ports::EventGate& gate);

}  // namespace nms::ui
