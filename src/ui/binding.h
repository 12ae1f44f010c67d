#pragma once

// The part every binding shares. Internal to the bindings' files.

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "platform/qt_text.h"
#include "ui/icons.h"
#include "ui/level_bar.h"

#include "ui/bindings.h"

namespace nms::ui::detail {

using platform::fromModel;
using platform::toModel;
using Kind = ports::EventGate::Kind;

// Relative luminance as the eye weighs the three primaries (sRGB), 0 for black to 1 for white.
inline double luminance(const QColor& c) {
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// Text that stays readable on a background the model chose (the system's text colour may be
// light in a dark theme): black or white, whichever stands out more. Lightness alone would put
// white on pure green, which the eye sees as a bright colour.
inline QColor textOn(const QColor& background) {
    const double l = luminance(background);
    return (l + 0.05) / 0.05 >= 1.05 / (l + 0.05) ? QColor(Qt::black) : QColor(Qt::white);
}

// The property that holds the access key the window gave a caption (see setAccessKey).
inline constexpr const char* kAccessKeyProperty = "nmsAccessKey";

inline QChar accessKeyOf(const QObject* widget) {
    const QVariant key = widget->property(kAccessKeyProperty);
    return key.isValid() ? key.toChar() : QChar();
}

// The part every binding shares: it lives as a child of its widget and mirrors the model on
// every change. When the widget goes, the model's hook finds it gone and does nothing, so the
// model and the widget may end in either order.
class Binding : public QObject {
public:
    Binding(QWidget* widget, ports::Control& control, ports::EventGate* gate = nullptr)
        : QObject(widget), widget_(widget), control_(control), gate_(gate) {
        QPointer<Binding> self(this);
        control_.onViewChanged = [self] {
            if (self) self->mirror();
        };
    }

    void mirror() {
        const QSignalBlocker blocker(widget_);
        mirrorState();
        widget_->setEnabled(control_.enabled());
        // A top-level widget (a test's loose widget) is never shown by its binding.
        if (!widget_->isWindow() || !control_.visible()) widget_->setVisible(control_.visible());
        // Mirrored on every change of the control (a level label changes 20 times a second):
        // the tool tip only when it differs.
        const QString tip = fromModel(control_.toolTip());
        if (widget_->toolTip() != tip) widget_->setToolTip(tip);
    }

protected:
    virtual void mirrorState() = 0;

    // Background and text colours of one palette role pair; a system colour of the role's own
    // kind leaves the widget on the palette it inherits.
    void applyColor(QPalette::ColorRole background, QPalette::ColorRole text,
                    ports::Color systemDefault) {
        const ports::Color color = control_.backColor();
        QPalette palette;  // nothing set: every role is inherited
        if (color != systemDefault) {
            const QColor c =
                colorOf(color, widget_->parentWidget() ? widget_->parentWidget()->palette()
                                                       : QApplication::palette(widget_));
            palette.setColor(background, c);
            palette.setColor(text, textOn(c));
        }
        widget_->setPalette(palette);
    }

    // Hands an operator's action to the model, never inside another event.
    void dispatch(std::function<void()> action) {
        gate_->dispatch(Kind::Operator, std::move(action));
    }

    QWidget* widget_;
    ports::Control& control_;
    ports::EventGate* gate_;
};

// The binding of a control that keeps nothing of its own: how its widget shows the model, and
// which of the widget's signals hand the operator's actions on. Buttons, check boxes, scroll
// bars and level bars are all this; controls with more to them are classes of their own.
template <class Widget, class Model>
class ControlBinding final : public Binding {
public:
    using Show = void (*)(ControlBinding& binding);

    ControlBinding(Widget* widget, Model& model, ports::EventGate* gate, Show show)
        : Binding(widget, model, gate), view_(widget), model_(model), show_(show) {}

    Widget& view() const { return *view_; }
    const Model& model() const { return model_; }
    using Binding::applyColor;

    // Whenever the widget emits `signal`, act(model, the signal's arguments) goes to the model
    // as the operator's action.
    template <class Signal, class Act>
    ControlBinding& handOn(Signal signal, Act act) {
        return connectOperator(signal, std::move(act), false);
    }
    // The same, and the widget then shows again what the model holds, which need not be the
    // operator's choice: the model may refuse it, or the action may still wait in the gate.
    template <class Signal, class Act>
    ControlBinding& handOnAndShow(Signal signal, Act act) {
        return connectOperator(signal, std::move(act), true);
    }

protected:
    void mirrorState() override { show_(*this); }

private:
    template <class Signal, class Act>
    ControlBinding& connectOperator(Signal signal, Act act, bool showAfter) {
        connect(view_, signal, this, [this, act, showAfter](auto... args) {
            dispatch([&model = model_, act, args...] { act(model, args...); });
            if (showAfter) mirror();
        });
        return *this;
    }

    Widget* view_;
    Model& model_;
    Show show_;
};

// Binds `widget` to `model` (it lives as the widget's child) and shows the model at once.
template <class Widget, class Model>
ControlBinding<Widget, Model>& bindControl(Widget* widget, Model& model, ports::EventGate* gate,
                                           typename ControlBinding<Widget, Model>::Show show) {
    auto* binding = new ControlBinding<Widget, Model>(widget, model, gate, show);
    binding->mirror();
    return *binding;
}

}  // namespace nms::ui::detail
