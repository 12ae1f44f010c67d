#include "ui/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include <utility>
#include <vector>

#include "platform/qt_text.h"

namespace nms::ui {

using platform::fromModel;
using platform::linesFromModel;
using platform::toModel;
namespace {

QMessageBox::Icon iconOf(ports::MessageIcon icon) {
    switch (icon) {
    case ports::MessageIcon::Critical: return QMessageBox::Critical;
    case ports::MessageIcon::Question: return QMessageBox::Question;
    case ports::MessageIcon::Exclamation: return QMessageBox::Warning;
    case ports::MessageIcon::Information: return QMessageBox::Information;
    case ports::MessageIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

std::vector<std::pair<QMessageBox::StandardButton, ports::Answer>> buttonsOf(ports::MessageButtons buttons) {
    using B = QMessageBox;
    using A = ports::Answer;
    switch (buttons) {
    case ports::MessageButtons::Ok: return {{B::Ok, A::Ok}};
    case ports::MessageButtons::OkCancel: return {{B::Ok, A::Ok}, {B::Cancel, A::Cancel}};
    case ports::MessageButtons::YesNo: return {{B::Yes, A::Yes}, {B::No, A::No}};
    case ports::MessageButtons::YesNoCancel: return {{B::Yes, A::Yes}, {B::No, A::No}, {B::Cancel, A::Cancel}};
    case ports::MessageButtons::RetryCancel: return {{B::Retry, A::Retry}, {B::Cancel, A::Cancel}};
    }
    return {{B::Ok, A::Ok}};
}

// What a box answers when it is closed without a button (Escape or the title bar): the box's
// cancelling button, and for an OK-only box its one button.
ports::Answer answerOnEscape(ports::MessageButtons buttons) {
    switch (buttons) {
    case ports::MessageButtons::Ok: return ports::Answer::Ok;
    case ports::MessageButtons::YesNo: return ports::Answer::No;
    default: return ports::Answer::Cancel;
    }
}

}  // namespace

QWidget* QtDialogs::parent() const {
    if (QWidget* active = QApplication::activeModalWidget()) return active;
    if (QWidget* active = QApplication::activeWindow()) return active;
    return fallback_;
}

ports::Answer QtDialogs::messageBox(const ports::MessageBox& box) {
    QMessageBox dialog(parent());
    dialog.setIcon(iconOf(box.icon));
    dialog.setWindowTitle(box.title.empty() ? QApplication::applicationDisplayName() : fromModel(box.title));
    // Plain text: element names and addresses inside a message must never be read as markup.
    dialog.setTextFormat(Qt::PlainText);
    dialog.setText(linesFromModel(box.text));
    if (!box.details.empty()) dialog.setDetailedText(linesFromModel(box.details));

    const auto buttons = buttonsOf(box.buttons);
    QMessageBox::StandardButtons set;
    for (const auto& [button, answer] : buttons) set |= button;
    dialog.setStandardButtons(set);
    for (const auto& [button, answer] : buttons) {
        if (answer == box.defaultButton) dialog.setDefaultButton(button);
    }
    const ports::Answer onEscape = answerOnEscape(box.buttons);
    for (const auto& [button, answer] : buttons) {
        if (answer == onEscape) dialog.setEscapeButton(button);
    }

    dialog.exec();
    const auto* clicked = dialog.clickedButton();
    for (const auto& [button, answer] : buttons) {
        if (clicked != nullptr && clicked == dialog.button(button)) return answer;
    }
    return onEscape;
}

std::optional<std::string> QtDialogs::inputBox(const std::string& prompt, const std::string& title,
                                               const std::string& proposed) {
    QInputDialog dialog(parent());
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(title.empty() ? QApplication::applicationDisplayName() : fromModel(title));
    dialog.setLabelText(linesFromModel(prompt));
    dialog.setTextValue(fromModel(proposed));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return toModel(dialog.textValue());
}

std::optional<std::string> QtDialogs::saveFileName(const SaveFile& request) {
    const QString path = QFileDialog::getSaveFileName(parent(), fromModel(request.title),
                                                      fromModel(request.proposed),
                                                      fromModel(request.filter));
    if (path.isEmpty()) return std::nullopt;
    return toModel(path);
}

}  // namespace nms::ui
