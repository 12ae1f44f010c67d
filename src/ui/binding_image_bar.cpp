#include "ui/binding.h"

namespace nms::ui {
namespace {

// The model measures the picture in twips, 15 to a pixel.
void show(detail::ControlBinding<LevelBar, ports::ImageBar>& b) {
    b.view().setVisibleWidth(b.model().width() / 15);
}

}  // namespace

void bind(LevelBar* widget, ports::ImageBar& model) {
    detail::bindControl(widget, model, nullptr, show);
}

}  // namespace nms::ui
