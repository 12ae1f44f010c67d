#pragma once

#include <QWidget>

namespace nms::ui {

// The audio level bar: a 140 × 16 px gradient from blue through green and yellow to orange, of
// which the left `visibleWidth` pixels are shown over an empty track.
class LevelBar : public QWidget {
public:
    static constexpr int kWidth = 140;
    static constexpr int kHeight = 16;

    explicit LevelBar(QWidget* parent = nullptr);

    int visibleWidth() const { return visible_; }
    // Clipped to the bar; a wider picture than the bar shows the full bar.
    void setVisibleWidth(int pixels);

    QSize sizeHint() const override { return {kWidth + 2, kHeight + 2}; }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int visible_ = 0;
};

}  // namespace nms::ui
