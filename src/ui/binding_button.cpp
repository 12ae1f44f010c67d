#include "ui/binding.h"

namespace nms::ui {
namespace {

using namespace detail;

class ButtonBinding : public Binding {
public:
    ButtonBinding(QAbstractButton* button, ports::Button& model, ports::EventGate& gate)
        : Binding(button, model, &gate), button_(button), model_(model) {
        connect(button_, &QAbstractButton::clicked, this,
                [this] { dispatch([&model = model_] { model.click(); }); });
        mirror();
    }

protected:
    void mirrorState() override {
        // A button's "&" marks its shortcut key, as in its design caption ("&Set").
        button_->setText(fromModel(model_.caption()));
        applyColor(QPalette::Button, QPalette::ButtonText, ports::kSystemButtonFace);
    }

private:
    QAbstractButton* button_;
    ports::Button& model_;
};

}  // namespace

void bind(QAbstractButton* widget, ports::Button& model, ports::EventGate& gate) {
    new ButtonBinding(widget, model, gate);
}

}  // namespace nms::ui
