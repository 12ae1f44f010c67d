#include "ui/binding.h"

namespace nms::ui {
namespace {

void show(detail::ControlBinding<QAbstractButton, ports::Button>& b) {
    // A button's "&" marks its shortcut key, as in its design caption ("&Set").
    b.view().setText(detail::fromModel(b.model().caption()));
    b.applyColor(QPalette::Button, QPalette::ButtonText, ports::kSystemButtonFace);
}

}  // namespace

void bind(QAbstractButton* widget, ports::Button& model, ports::EventGate& gate) {
    detail::bindControl(widget, model, &gate, show)
        .handOn(&QAbstractButton::clicked, [](ports::Button& m, bool) { m.click(); });
}

}  // namespace nms::ui
