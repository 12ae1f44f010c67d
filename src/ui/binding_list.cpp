#include "ui/binding.h"

namespace nms::ui {
namespace {

using namespace detail;

class ListBinding : public Binding {
public:
    ListBinding(QComboBox* combo, ports::ListControl& model, ports::EventGate& gate)
        : Binding(combo, model, &gate), combo_(combo), model_(model) {
        connect(combo_, &QComboBox::activated, this, [this](int index) {
            dispatch(
                [&model = model_, index] { model.setListIndex(index, ports::Origin::Operator); });
            // The model may refuse the choice (or the event waits in the gate): show what it holds.
            mirror();
        });
        mirror();
    }

protected:
    void mirrorState() override {
        const auto& items = model_.items();
        bool same = combo_->count() == model_.listCount();
        for (int i = 0; same && i < combo_->count(); ++i) {
            same = combo_->itemText(i) == fromModel(items[static_cast<std::size_t>(i)]);
        }
        if (!same) {
            QStringList texts;
            texts.reserve(static_cast<qsizetype>(items.size()));
            for (const auto& item : items) texts.append(fromModel(item));
            combo_->clear();
            combo_->addItems(texts);
        }
        if (combo_->currentIndex() != model_.listIndex())
            combo_->setCurrentIndex(model_.listIndex());
    }

private:
    QComboBox* combo_;
    ports::ListControl& model_;
};

}  // namespace

void bind(QComboBox* widget, ports::ListControl& model, ports::EventGate& gate) {
    new ListBinding(widget, model, gate);
}

}  // namespace nms::ui
