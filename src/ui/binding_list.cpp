#include "ui/binding.h"

#include <QAbstractListModel>

namespace nms::ui {
namespace {

using namespace detail;

// The entries of a list that shows its items as they are, read from a copy of the model's items
// when the box asks for them: a list of thousands of encoders is filled in one step, and an
// entry's text is made only when it is shown. Each entry's data is its item, as for any list.
class PlainItems : public QAbstractListModel {
public:
    explicit PlainItems(QObject* parent) : QAbstractListModel(parent) {}

    const std::vector<std::string>& items() const { return items_; }
    void assign(const std::vector<std::string>& items) {
        beginResetModel();
        items_ = items;
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(items_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() < 0 || index.row() >= rowCount()) return {};
        if (role == Qt::DisplayRole || role == Qt::EditRole || role == Qt::UserRole)
            return fromModel(items_[static_cast<std::size_t>(index.row())]);
        return {};
    }

private:
    std::vector<std::string> items_;
};

class ListBinding : public Binding {
public:
    ListBinding(QComboBox* combo, ports::ListControl& model, ports::EventGate& gate,
                ItemText itemText)
        : Binding(combo, model, &gate),
          combo_(combo),
          model_(model),
          itemText_(std::move(itemText)) {
        if (!itemText_) {
            plain_ = new PlainItems(combo_);
            combo_->setModel(plain_);
        }
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
        if (plain_) {
            if (plain_->items() != items) plain_->assign(items);
        } else {
            // Each entry keeps the model's item as its data; what it shows may say more.
            bool same = combo_->count() == model_.listCount();
            for (int i = 0; same && i < combo_->count(); ++i) {
                const auto& item = items[static_cast<std::size_t>(i)];
                same = combo_->itemData(i).toString() == fromModel(item) &&
                       combo_->itemText(i) == itemText_(item);
            }
            if (!same) {
                combo_->clear();
                for (const auto& item : items) combo_->addItem(itemText_(item), fromModel(item));
            }
        }
        if (combo_->currentIndex() != model_.listIndex())
            combo_->setCurrentIndex(model_.listIndex());
    }

private:
    QComboBox* combo_;
    ports::ListControl& model_;
    ItemText itemText_;
    PlainItems* plain_ = nullptr;
};

}  // namespace

void bind(QComboBox* widget, ports::ListControl& model, ports::EventGate& gate, ItemText itemText) {
    new ListBinding(widget, model, gate, std::move(itemText));
}

}  // namespace nms::ui
