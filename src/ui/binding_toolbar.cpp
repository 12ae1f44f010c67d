#include "ui/binding.h"

namespace nms::ui {
namespace {

using namespace detail;

class ToolbarBinding : public Binding {
public:
    ToolbarBinding(QToolBar* toolbar, ports::Toolbar& model, ports::EventGate& gate)
        : Binding(toolbar, model, &gate), toolbar_(toolbar), model_(model) {
        mirror();
    }

protected:
    void mirrorState() override {
        const auto& items = model_.items();
        bool sameShape = actions_.size() == items.size();
        for (std::size_t i = 0; sameShape && i < items.size(); ++i) {
            sameShape =
                actions_[i]->isSeparator() == (items[i].kind == ports::Toolbar::Kind::Separator) &&
                images_[i] == items[i].image;
        }
        if (!sameShape) rebuild();
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i].kind == ports::Toolbar::Kind::Separator) continue;
            actions_[i]->setEnabled(items[i].enabled);
            actions_[i]->setToolTip(fromModel(items[i].toolTip));
            actions_[i]->setText(fromModel(items[i].toolTip));
        }
    }

private:
    void rebuild() {
        for (QAction* action : actions_) {
            toolbar_->removeAction(action);
            delete action;
        }
        actions_.clear();
        images_.clear();
        // The model's items come first; anything the window added stays after them.
        const auto existing = toolbar_->actions();
        QAction* before = existing.isEmpty() ? nullptr : existing.first();
        const auto& items = model_.items();
        for (std::size_t i = 0; i < items.size(); ++i) {
            auto* action = new QAction(toolbar_);
            if (items[i].kind == ports::Toolbar::Kind::Separator) {
                action->setSeparator(true);
            } else {
                action->setIcon(pictureIcon(items[i].image));
                const int index = static_cast<int>(i) + 1;
                connect(action, &QAction::triggered, this, [this, index] {
                    dispatch([&model = model_, index] { model.click(index); });
                });
            }
            toolbar_->insertAction(before, action);
            actions_.push_back(action);
            images_.push_back(items[i].image);
        }
    }

    QToolBar* toolbar_;
    ports::Toolbar& model_;
    std::vector<QAction*> actions_;
    std::vector<int> images_;
};

}  // namespace

void bind(QToolBar* widget, ports::Toolbar& model, ports::EventGate& gate) {
    new ToolbarBinding(widget, model, gate);
}

}  // namespace nms::ui
