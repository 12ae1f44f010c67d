#include "ui/binding.h"

namespace nms::ui {
namespace {

void show(detail::ControlBinding<QAbstractSlider, ports::ScrollBar>& b) {
    auto& slider = b.view();
    if (slider.isSliderDown()) return;  // never pull the thumb from under the operator's hand
    const auto& m = b.model();
    slider.setRange(m.min(), m.max());
    slider.setSingleStep(m.smallChange);
    slider.setPageStep(m.largeChange);
    slider.setValue(m.value());
}

}  // namespace

void bind(QAbstractSlider* widget, ports::ScrollBar& model, ports::EventGate& gate) {
    // One change per arrow click, page click or key step, and one when a dragged thumb is
    // released: the value does not follow the thumb while it is dragged.
    widget->setTracking(false);
    detail::bindControl(widget, model, &gate, show)
        .handOnAndShow(
            &QAbstractSlider::valueChanged,
            [](ports::ScrollBar& m, int value) { m.setValue(value, ports::Origin::Operator); })
        .handOn(&QAbstractSlider::sliderMoved, [](ports::ScrollBar& m, int) {
            if (m.onScroll) m.onScroll();
        });
}

}  // namespace nms::ui
