#include "ui/binding.h"

#include <QStandardItemModel>

namespace nms::ui {
namespace {

using namespace detail;

class ListBinding : public Binding {
public:
    ListBinding(QComboBox* combo, ports::ListControl& model, ports::EventGate& gate,
                ItemText itemText)
        : Binding(combo, model, &gate),
          combo_(combo),
          model_(model),
          itemText_(std::move(itemText)) {
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
        // Each entry keeps the model's item as its data; what it shows may say more.
        bool same = combo_->count() == model_.listCount();
        // A plain list shows its items as they are: the copy of what was shown tells at once.
        if (!itemText_ && same && items == shown_) {
            if (combo_->currentIndex() != model_.listIndex()) combo_->setCurrentIndex(model_.listIndex());
            return;
        }
        for (int i = 0; same && i < combo_->count(); ++i) {
            const auto& item = items[static_cast<std::size_t>(i)];
            same = combo_->itemData(i).toString() == fromModel(item) &&
                   combo_->itemText(i) == shownText(item);
        }
        if (!same) refill(items);
        if (!itemText_) shown_ = items;
        if (combo_->currentIndex() != model_.listIndex())
            combo_->setCurrentIndex(model_.listIndex());
    }

private:
    // All entries in one insertion: a list of thousands of encoders added one by one would
    // signal, and be measured by the box, thousands of times.
    void refill(const std::vector<std::string>& items) {
        combo_->clear();
        auto* model = qobject_cast<QStandardItemModel*>(combo_->model());
        if (model == nullptr) {
            for (const auto& item : items) combo_->addItem(shownText(item), fromModel(item));
            return;
        }
        QList<QStandardItem*> rows;
        rows.reserve(static_cast<qsizetype>(items.size()));
        for (const auto& item : items) {
            auto* row = new QStandardItem(shownText(item));
            row->setData(fromModel(item), Qt::UserRole);
            row->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            rows.append(row);
        }
        model->invisibleRootItem()->appendRows(rows);
    }

    QString shownText(const std::string& item) const {
        return itemText_ ? itemText_(item) : fromModel(item);
    }

    QComboBox* combo_;
    ports::ListControl& model_;
    ItemText itemText_;
    std::vector<std::string> shown_;
};

}  // namespace

void bind(QComboBox* widget, ports::ListControl& model, ports::EventGate& gate, ItemText itemText) {
    new ListBinding(widget, model, gate, std::move(itemText));
}

}  // namespace nms::ui
