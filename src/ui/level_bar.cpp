#include "ui/level_bar.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>

namespace nms::ui {

LevelBar::LevelBar(QWidget* parent) : QWidget(parent) {
    setFixedSize(sizeHint());
    // Every pixel is painted here (the track's outline and fill cover the whole widget), so the
    // frame behind the bar is not painted again for each new level.
    setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void LevelBar::setVisibleWidth(int pixels) {
    pixels = std::clamp(pixels, 0, kWidth);
    if (pixels == visible_) return;
    visible_ = pixels;
    update();
}

void LevelBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect track(1, 1, kWidth, kHeight);
    const QPalette& pal = palette();
    painter.setPen(pal.color(QPalette::Mid));
    painter.setBrush(pal.color(QPalette::Base).darker(isEnabled() ? 104 : 100));
    painter.drawRect(track.adjusted(-1, -1, 0, 0));

    if (visible_ <= 0) return;
    QLinearGradient gradient(track.topLeft(), track.topRight());
    gradient.setColorAt(0.00, QColor(0x1e, 0x6f, 0xd9));
    gradient.setColorAt(0.45, QColor(0x2e, 0xb8, 0x4b));
    gradient.setColorAt(0.75, QColor(0xf2, 0xd0, 0x24));
    gradient.setColorAt(1.00, QColor(0xf2, 0x7a, 0x1a));
    QRect shown = track;
    shown.setWidth(visible_);
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.setOpacity(isEnabled() ? 1.0 : 0.45);
    painter.drawRect(shown);
}

}  // namespace nms::ui
