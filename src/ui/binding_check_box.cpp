#include "ui/binding.h"

namespace nms::ui {
namespace {

void show(detail::ControlBinding<QCheckBox, ports::CheckBox>& b) {
    // A check box's '&' marks its access key, as on a button ("Auto clea&r counters").
    b.view().setText(detail::fromModel(b.model().caption()));
    b.view().setChecked(b.model().checked());
}

}  // namespace

void bind(QCheckBox* widget, ports::CheckBox& model, ports::EventGate& gate) {
    detail::bindControl(widget, model, &gate, show)
        .handOnAndShow(&QCheckBox::clicked, [](ports::CheckBox& m, bool checked) {
            m.setChecked(checked, ports::Origin::Operator);
        });
}

}  // namespace nms::ui
