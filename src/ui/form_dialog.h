#pragma once

#include <QDialog>
#include <QKeySequence>

class QAbstractButton;

#include "ports/controls.h"
#include "ports/event_gate.h"

namespace nms::ui {

class WindowLayout;

// A window of its own drawn for a model Form: its title is the form's caption, and it opens and
// closes as the form's `shown` changes. It is modal over its parent while open (over the whole
// program when the parent is not on screen yet, as for the notice at start-up). Closing it by
// hand (title bar, Escape) only asks the model; the model decides whether it closes.
class FormDialog : public QDialog {
public:
    FormDialog(ports::Form& form, ports::EventGate& gate, QWidget* parent = nullptr);
    ~FormDialog() override;

    ports::Form& form() { return form_; }
    // Opens where the operator last left it (by its object name), and remembers that on close.
    // Where the dialog keeps its place; one that is already open moves to the kept place.
    void rememberIn(const WindowLayout* layout);
    // Escape: asks the model to close.
    void reject() override;
    // A shortcut for a button whose caption carries no access key (the caption stays as the
    // station wrote it): the keys press the button while it is enabled.
    static void addShortcut(QAbstractButton* button, const QKeySequence& keys);

protected:
    void closeEvent(QCloseEvent* event) override;
    // Mirrors the form; called at construction and on every change.
    void mirrorForm();

private:
    void operatorClose();
    ports::Form& form_;
    ports::EventGate& gate_;
    const WindowLayout* layout_ = nullptr;
};

}  // namespace nms::ui
