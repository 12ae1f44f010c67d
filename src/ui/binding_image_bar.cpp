#include "ui/binding.h"

namespace nms::ui {
namespace {

using namespace detail;

class ImageBarBinding : public Binding {
public:
    ImageBarBinding(LevelBar* bar, ports::ImageBar& model)
        : Binding(bar, model), bar_(bar), model_(model) {
        mirror();
    }

protected:
    // The model measures the picture in twips, 15 to a pixel.
    void mirrorState() override { bar_->setVisibleWidth(model_.width() / 15); }

private:
    LevelBar* bar_;
    ports::ImageBar& model_;
};

}  // namespace

void bind(LevelBar* widget, ports::ImageBar& model) {
    new ImageBarBinding(widget, model);
}

}  // namespace nms::ui
