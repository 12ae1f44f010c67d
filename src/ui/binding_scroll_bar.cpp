#include "ui/binding.h"

namespace nms::ui {
namespace {

using namespace detail;

class ScrollBarBinding : public Binding {
public:
    ScrollBarBinding(QAbstractSlider* slider, ports::ScrollBar& model, ports::EventGate& gate)
        : Binding(slider, model, &gate), slider_(slider), model_(model) {
        // One change per arrow click, page click or key step, and one when a dragged thumb is
        // released: the value does not follow the thumb while it is dragged.
        slider_->setTracking(false);
        connect(slider_, &QAbstractSlider::valueChanged, this, [this](int value) {
            dispatch([&model = model_, value] { model.setValue(value, ports::Origin::Operator); });
            mirror();
        });
        connect(slider_, &QAbstractSlider::sliderMoved, this, [this](int) {
            dispatch([&model = model_] {
                if (model.onScroll) model.onScroll();
            });
        });
        mirror();
    }

protected:
    void mirrorState() override {
        if (slider_->isSliderDown()) return;  // never pull the thumb from under the operator's hand
        slider_->setRange(model_.min(), model_.max());
        slider_->setSingleStep(model_.smallChange);
        slider_->setPageStep(model_.largeChange);
        slider_->setValue(model_.value());
    }

private:
    QAbstractSlider* slider_;
    ports::ScrollBar& model_;
};

}  // namespace

void bind(QAbstractSlider* widget, ports::ScrollBar& model, ports::EventGate& gate) {
    new ScrollBarBinding(widget, model, gate);
}

}  // namespace nms::ui
