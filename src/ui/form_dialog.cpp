#include "ui/form_dialog.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QPointer>
#include <QShortcut>

#include "platform/qt_text.h"
#include "ui/window_layout.h"

namespace nms::ui {

FormDialog::FormDialog(ports::Form& form, ports::EventGate& gate, QWidget* parent)
    : QDialog(parent), form_(form), gate_(gate) {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    QPointer<FormDialog> self(this);
    form_.onViewChanged = [self] {
        if (self) self->mirrorForm();
    };
    // Shown only once the window's contents exist: the subclass constructor calls mirrorForm().
}

FormDialog::~FormDialog() = default;

void FormDialog::rememberIn(const WindowLayout* layout) {
    layout_ = layout;
    if (layout_ && isVisible()) layout_->restore(objectName(), this);
}

void FormDialog::mirrorForm() {
    setWindowTitle(platform::fromModel(form_.caption()));
    if (form_.shown() == isVisible()) return;
    if (form_.shown()) {
        QWidget* owner = parentWidget();
        setWindowModality(owner && owner->isVisible() ? Qt::WindowModal : Qt::ApplicationModal);
        if (layout_) layout_->restore(objectName(), this);
        show();
        raise();
        activateWindow();
    } else {
        if (layout_) layout_->save(objectName(), this);
        hide();
    }
}

void FormDialog::operatorClose() {
    gate_.dispatch(ports::EventGate::Kind::Operator, [&form = form_] { form.closeByOperator(); });
}

void FormDialog::closeEvent(QCloseEvent* event) {
    // The window goes only when the model hides it.
    event->ignore();
    if (form_.shown()) operatorClose();
}

void FormDialog::addShortcut(QAbstractButton* button, const QKeySequence& keys) {
    auto* shortcut = new QShortcut(keys, button->window());
    QObject::connect(shortcut, &QShortcut::activated, button, [button] {
        if (button->isEnabled() && button->isVisible()) button->click();
    });
}

void FormDialog::reject() {
    if (form_.shown()) operatorClose();
}

}  // namespace nms::ui
