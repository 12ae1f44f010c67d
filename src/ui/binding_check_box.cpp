#include "ui/binding.h"

namespace nms::ui {
namespace {

using namespace detail;

class CheckBoxBinding : public Binding {
public:
    CheckBoxBinding(QCheckBox* box, ports::CheckBox& model, ports::EventGate& gate)
        : Binding(box, model, &gate), box_(box), model_(model) {
        connect(box_, &QCheckBox::clicked, this, [this](bool checked) {
            dispatch(
                [&model = model_, checked] { model.setChecked(checked, ports::Origin::Operator); });
            mirror();
        });
        mirror();
    }

protected:
    void mirrorState() override {
        // A check box's '&' marks its access key, as on a button ("Auto clea&r counters").
        box_->setText(fromModel(model_.caption()));
        box_->setChecked(model_.checked());
    }

private:
    QCheckBox* box_;
    ports::CheckBox& model_;
};

}  // namespace

void bind(QCheckBox* widget, ports::CheckBox& model, ports::EventGate& gate) {
    new CheckBoxBinding(widget, model, gate);
}

}  // namespace nms::ui
