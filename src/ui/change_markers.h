#pragma once

#include <QObject>
#include <QString>

#include <string>
#include <vector>

#include "editor/save_configuration.h"
#include "ui/call_once_later.h"

class QGroupBox;
class QLabel;
class QWidget;

namespace nms::ui {

// Shows which fields of the properties panel differ from the stored record of the shown
// element: a mark beside each such field, and "(modified)" after the frame's caption, so that
// unsaved edits are seen before the operator clicks away. It only looks: the comparison is the
// one the save confirmation lists, and nothing of the station's flow changes.
class ChangeMarkers : public QObject {
public:
    ChangeMarkers(editor::PropertiesPanel& panel, const protocol::AudioTypeTable& types,
                  editor::RecordReader stored, QObject* parent = nullptr);

    // The mark for a field the comparison covers, to be placed beside it; null for any other.
    QLabel* markFor(const ports::Control& field, QWidget* parent);
    // The frame whose title says "(modified)" while any field differs.
    void setFrame(QGroupBox* frame) { frame_ = frame; }
    // Starts following the model: every change of these controls is compared again (once per
    // turn of the event loop, however many changed). Call after the widgets are bound.
    void watch(std::vector<ports::Control*> controls);

    // Compares now.
    void refresh();
    bool modified() const { return !changes_.empty(); }
    // The names of the controls marked now, in the panel's order.
    std::vector<std::string> markedFields() const;

private:
    const ports::Control* fieldOf(const editor::SettingChange& change) const;
    void schedule();

    editor::PropertiesPanel& panel_;
    const protocol::AudioTypeTable& types_;
    editor::RecordReader stored_;
    QGroupBox* frame_ = nullptr;
    std::vector<std::pair<const ports::Control*, QLabel*>> marks_;
    std::vector<editor::SettingChange> changes_;
    CallOnceLater refresh_;
};

}  // namespace nms::ui
