#include "ui/window_layout.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <algorithm>

namespace nms::ui {
namespace {

QString key(const QString& name, const char* what) {
    return QStringLiteral("Window/%1/%2").arg(name, QLatin1String(what));
}

// The screen a window belongs on: where its centre lies, else the one it overlaps most, else
// the primary screen (a screen unplugged since the window was last shown).
QScreen* screenFor(const QRect& rect) {
    if (QScreen* screen = QGuiApplication::screenAt(rect.center())) return screen;
    QScreen* best = nullptr;
    qint64 bestArea = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect overlap = screen->availableGeometry().intersected(rect);
        const qint64 area = qint64(overlap.width()) * overlap.height();
        if (!overlap.isEmpty() && area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    return best ? best : QGuiApplication::primaryScreen();
}

}  // namespace

QRect fitInside(QRect wanted, const QRect& available, const QMargins& frame) {
    const QRect inner = available.marginsRemoved(frame);
    if (inner.isEmpty()) return wanted;
    wanted.setWidth(std::clamp(wanted.width(), 1, inner.width()));
    wanted.setHeight(std::clamp(wanted.height(), 1, inner.height()));
    wanted.moveLeft(std::clamp(wanted.left(), inner.left(), inner.right() - wanted.width() + 1));
    wanted.moveTop(std::clamp(wanted.top(), inner.top(), inner.bottom() - wanted.height() + 1));
    return wanted;
}

WindowLayout::WindowLayout(QString file) : file_(std::move(file)) {}

void WindowLayout::save(const QString& name, const QWidget* window) const {
    QSettings settings(file_, QSettings::IniFormat);
    const bool maximized = window->isMaximized();
    settings.setValue(key(name, "rect"), maximized ? window->normalGeometry() : window->geometry());
    settings.setValue(key(name, "maximized"), maximized);
    settings.sync();
}

bool WindowLayout::restore(const QString& name, QWidget* window) const {
    QSettings settings(file_, QSettings::IniFormat);
    const QRect kept = settings.value(key(name, "rect")).toRect();
    if (kept.isValid()) {
        QScreen* screen = screenFor(kept);
        const QRect placed = screen ? fitInside(kept, screen->availableGeometry()) : kept;
        window->setGeometry(placed);
        if (settings.value(key(name, "maximized")).toBool()) {
            window->setWindowState(window->windowState() | Qt::WindowMaximized);
        }
        return true;
    }
    const QWidget* parent = window->parentWidget();
    QScreen* screen =
        parent && parent->isVisible() ? parent->screen() : QGuiApplication::primaryScreen();
    if (!screen) return false;
    const QRect available = screen->availableGeometry();
    QRect rect(QPoint(0, 0), window->size());
    rect.moveCenter(available.center());
    rect = fitInside(rect, available);
    if (parent) {
        window->resize(rect.size());  // a dialog opens centred over its parent
    } else {
        window->setGeometry(rect);
    }
    return false;
}

void WindowLayout::saveState(const QString& name, const QByteArray& state) const {
    QSettings settings(file_, QSettings::IniFormat);
    settings.setValue(key(name, "state"), state);
    settings.sync();
}

QByteArray WindowLayout::state(const QString& name) const {
    QSettings settings(file_, QSettings::IniFormat);
    return settings.value(key(name, "state")).toByteArray();
}

}  // namespace nms::ui
