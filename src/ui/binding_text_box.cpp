#include "ui/binding.h"

namespace nms::ui {
namespace {

using namespace detail;

class TextBoxBinding : public Binding {
public:
    TextBoxBinding(QLineEdit* edit, ports::TextBox& model, ports::EventGate& gate)
        : Binding(edit, model, &gate), edit_(edit), model_(model) {
        edit_->installEventFilter(this);
        connect(edit_, &QLineEdit::textEdited, this,
                [this](const QString& text) { operatorEdited(text); });
        mirror();
    }

protected:
    void mirrorState() override {
        const QString text = fromModel(model_.text());
        // The operator may type up to the model's limit; a longer text set by the program is
        // shown whole, and can be shortened but not lengthened.
        const int limit = model_.maxLength > 0
                              ? std::max<int>(model_.maxLength, static_cast<int>(text.size()))
                              : 32767;
        if (edit_->maxLength() != limit) edit_->setMaxLength(limit);
        bool forceSelection = false;
        if (edit_->text() != text) {
            edit_->setText(text);
            forceSelection = true;
        }
        const std::pair<int, int> selection{model_.selStart, model_.selLength};
        if (!editing_ && (forceSelection || selection != shownSelection_)) applySelection();
        applyColor(QPalette::Base, QPalette::Text, ports::kSystemWindowBackground);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != edit_) return false;
        switch (event->type()) {
            case QEvent::FocusIn: {
                const auto reason = static_cast<QFocusEvent*>(event)->reason();
                // Coming back from a menu or another window is not entering the box.
                if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason ||
                    model_.hasFocus())
                    break;
                dispatch([&model = model_] { model.gotFocus(); });
                if (reason == Qt::MouseFocusReason) {
                    // The click that gave the focus places the cursor after this event; the
                    // selection the model chose on entry is shown again once the click is done.
                    QPointer<TextBoxBinding> self(this);
                    QTimer::singleShot(0, this, [self] {
                        if (self) self->applySelection();
                    });
                }
                break;
            }
            case QEvent::FocusOut: {
                const auto reason = static_cast<QFocusEvent*>(event)->reason();
                if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason ||
                    !model_.hasFocus())
                    break;
                dispatch([&model = model_] { model.lostFocus(); });
                break;
            }
            case QEvent::KeyRelease:
                if (!static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
                    dispatch([&model = model_] {
                        if (model.onKeyUp) model.onKeyUp();
                    });
                }
                break;
            default:
                break;
        }
        return false;
    }

private:
    void operatorEdited(const QString& text) {
        editing_ = true;
        dispatch([&model = model_, value = toModel(text)] {
            model.setText(value, ports::Origin::Operator);
        });
        editing_ = false;
        // The cursor is where the operator's typing left it; the model learns it silently.
        const bool hasSelection = edit_->hasSelectedText();
        model_.selStart = hasSelection ? edit_->selectionStart() : edit_->cursorPosition();
        model_.selLength = hasSelection ? static_cast<int>(edit_->selectedText().size()) : 0;
        shownSelection_ = {model_.selStart, model_.selLength};
    }

    void applySelection() {
        const QSignalBlocker blocker(edit_);
        const int length = static_cast<int>(edit_->text().size());
        const int start = std::clamp(model_.selStart, 0, length);
        const int count = std::clamp(model_.selLength, 0, length - start);
        if (count > 0)
            edit_->setSelection(start, count);
        else
            edit_->setCursorPosition(start);
        shownSelection_ = {model_.selStart, model_.selLength};
    }

    QLineEdit* edit_;
    ports::TextBox& model_;
    bool editing_ = false;
    std::pair<int, int> shownSelection_{-1, -1};
};

}  // namespace

void bind(QLineEdit* widget, ports::TextBox& model, ports::EventGate& gate) {
    new TextBoxBinding(widget, model, gate);
}

}  // namespace nms::ui
