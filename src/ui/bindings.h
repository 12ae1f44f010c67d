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
#include <QStringList>

#include <QPalette>
#include <functional>
#include <string>

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
class QTreeView;
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

// The caption as written, with the access key marked ('&') where the key first begins a word,
// else where it first stands, and every other ampersand shown as written ("O&M:" stays O&M).
// No key, or a key the caption does not hold: the caption with its ampersands as written.
QString withAccessKey(const QString& caption, QChar key);

// An access key for a caption the station wrote without one: the caption keeps its text, with
// the key's letter underlined, and Alt+key moves to the buddy (and clicks it when it is a
// button). A frame's key moves to the first control inside it.
void setAccessKey(QLabel* caption, QChar key, QWidget* buddy);
void setAccessKey(QGroupBox* frame, QChar key);

void bind(QLineEdit* widget, ports::TextBox& model, ports::EventGate& gate);
// What a list shows for each of its items; the item itself stays the value the model uses.
using ItemText = std::function<QString(const std::string& item)>;
void bind(QComboBox* widget, ports::ListControl& model, ports::EventGate& gate,
          ItemText itemText = {});
void bind(QCheckBox* widget, ports::CheckBox& model, ports::EventGate& gate);
void bind(QAbstractSlider* widget, ports::ScrollBar& model, ports::EventGate& gate);
void bind(QAbstractButton* widget, ports::Button& model, ports::EventGate& gate);
void bind(LevelBar* widget, ports::ImageBar& model);
// Columns a tree shows beside each node's text, taken from outside the model (the stored record
// of the node's element). The operator may sort by any column; a third click on a column's
// header gives back the model's order.
struct TreeColumns {
    QStringList headers;  // the node text's column first
    std::function<QStringList(const ports::TreeView::Node&)> values;  // one per extra header
    QStringList widest;  // per extra header, a text as wide as its widest value may be
};
// Pictures come from the main window's image list (pictureIcon).
void bind(QTreeView* widget, ports::TreeView& model, ports::EventGate& gate,
          TreeColumns columns = {});
// The heading a node goes under when a bound tree is grouped; groups show in rank order.
struct TreeGroup {
    int rank = 0;
    QString title;
};
using TreeGroupOf = std::function<TreeGroup(const ports::TreeView::Node&)>;
// Groups a bound tree's rows under headings (each with its count), the sort order kept within a
// group; an empty function gives the flat list back. The tree asks `groupOf` again on
// regroupTree() (a node's group may change without the node changing: its health), and moves
// rows only when a group did change.
void groupTree(QTreeView* widget, TreeGroupOf groupOf);
void regroupTree(QTreeView* widget);
// The toolbar's items are placed before any widget or action already in the toolbar.
void bind(QToolBar* widget, ports::Toolbar& model, ports::EventGate& gate);

}  // namespace nms::ui
