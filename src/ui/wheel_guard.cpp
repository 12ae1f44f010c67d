#include "ui/wheel_guard.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QEvent>
#include <QWheelEvent>
#include <QWidget>

namespace nms::ui {
namespace {

class WheelGuard : public QObject {
public:
    explicit WheelGuard(QWidget* control) : QObject(control), control_(control) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != control_ || event->type() != QEvent::Wheel || control_->hasFocus())
            return false;
        // Handed on explicitly rather than ignored: a wheel event that a program sends is not
        // passed to the parents by Qt, and one from the window system must not scroll twice.
        if (QAbstractScrollArea* area = scrollAreaAround(control_)) {
            auto* wheel = static_cast<QWheelEvent*>(event);
            QWidget* viewport = area->viewport();
            const QPointF at = viewport->mapFromGlobal(wheel->globalPosition());
            QWheelEvent copy(at, wheel->globalPosition(), wheel->pixelDelta(), wheel->angleDelta(),
                             wheel->buttons(), wheel->modifiers(), wheel->phase(),
                             wheel->inverted(), wheel->source());
            QApplication::sendEvent(viewport, &copy);
        }
        return true;
    }

private:
    static QAbstractScrollArea* scrollAreaAround(QWidget* widget) {
        for (QWidget* w = widget->parentWidget(); w != nullptr; w = w->parentWidget()) {
            if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) return area;
            if (w->isWindow()) break;
        }
        return nullptr;
    }

    QWidget* control_;
};

}  // namespace

void guardWheel(QWidget* control) {
    // Tab and a click give the focus; the wheel does not.
    control->setFocusPolicy(Qt::StrongFocus);
    control->installEventFilter(new WheelGuard(control));
}

}  // namespace nms::ui
