#include "ui/binding.h"

#include <QHeaderView>

namespace nms::ui {
namespace {

using namespace detail;

// Each item remembers the model's index of its node, whatever order the operator sorted.
constexpr int kNodeIndexRole = Qt::UserRole + 1;

int mouseButtonNumber(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return 1;
        case Qt::RightButton:
            return 2;
        case Qt::MiddleButton:
            return 4;
        default:
            return 0;
    }
}

// "192.168.1.9" before "192.168.1.10", "3.8" before "3.71" as firmware numbers do: two numbers
// compare as numbers, other texts by their runs of digits as numbers and the rest without case.
bool naturalLess(const QString& a, const QString& b) {
    bool aNumber = false;
    bool bNumber = false;
    const double x = a.toDouble(&aNumber);
    const double y = b.toDouble(&bNumber);
    if (aNumber && bNumber) return x < y;
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i;
            qsizetype ej = j;
            while (ei < a.size() && a[ei].isDigit()) ++ei;
            while (ej < b.size() && b[ej].isDigit()) ++ej;
            const qulonglong n = a.mid(i, ei - i).toULongLong();
            const qulonglong m = b.mid(j, ej - j).toULongLong();
            if (n != m) return n < m;
            i = ei;
            j = ej;
            continue;
        }
        const QChar c = a[i].toCaseFolded();
        const QChar d = b[j].toCaseFolded();
        if (c != d) return c < d;
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

class TreeBinding : public Binding {
public:
    TreeBinding(QTreeWidget* tree, ports::TreeView& model, ports::EventGate& gate,
                TreeColumns columns)
        : Binding(tree, model, &gate), tree_(tree), model_(model), columns_(std::move(columns)) {
        // A flat list of elements in the model's order; no menu. With columns, the operator may
        // sort by one of them.
        const bool withColumns = columns_.values && columns_.headers.size() > 1;
        if (!withColumns) columns_ = {};
        tree_->setColumnCount(withColumns ? static_cast<int>(columns_.headers.size()) : 1);
        tree_->setHeaderHidden(!withColumns);
        if (withColumns) {
            tree_->setHeaderLabels(columns_.headers);
            auto* header = tree_->header();
            header->setSectionsClickable(true);
            header->setSortIndicatorShown(false);
            header->setStretchLastSection(true);
            header->setSectionResizeMode(QHeaderView::Interactive);
            connect(header, &QHeaderView::sectionClicked, this,
                    [this](int column) { headerClicked(column); });
        }
        tree_->setRootIsDecorated(false);
        tree_->setItemsExpandable(false);
        tree_->setUniformRowHeights(true);
        tree_->setSortingEnabled(false);
        tree_->setSelectionMode(QAbstractItemView::SingleSelection);
        tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tree_->setContextMenuPolicy(Qt::NoContextMenu);
        tree_->viewport()->installEventFilter(this);
        // Keyboard moves select a node as a click does; mouse clicks are taken on release below.
        connect(tree_, &QTreeWidget::currentItemChanged, this,
                [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
                    if (mouseDown_ || item == nullptr) return;
                    clickNode(nodeIndexOf(item));
                });
        mirror();
    }

protected:
    void mirrorState() override {
        const auto& nodes = model_.nodes();
        if (!sameNodes(nodes)) rebuild(nodes);
        const int selected = model_.selectedIndex();
        QTreeWidgetItem* item = itemOf(selected);
        if (item) refreshValues(item, nodes[static_cast<std::size_t>(selected)]);
        if (tree_->currentItem() != item || (item && !item->isSelected())) {
            tree_->setCurrentItem(item);
            if (item == nullptr) tree_->clearSelection();
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != tree_->viewport()) return false;
        const auto type = event->type();
        if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
            type != QEvent::MouseButtonDblClick) {
            return false;
        }
        auto* mouse = static_cast<QMouseEvent*>(event);
        const int button = mouseButtonNumber(mouse->button());
        if (mouse->button() != Qt::LeftButton) {
            // Other buttons select nothing and open nothing; their release is still reported.
            if (type == QEvent::MouseButtonRelease && button != 0) reportMouseUp(button);
            return true;
        }
        if (type == QEvent::MouseButtonRelease) {
            mouseDown_ = false;
            QTreeWidgetItem* item = tree_->itemAt(mouse->position().toPoint());
            if (item != nullptr && item == pressed_) clickNode(nodeIndexOf(item));
            pressed_ = nullptr;
            reportMouseUp(button);
            // A press that was dragged away selects nothing: show the model's selection again.
            mirror();
            return false;
        }
        mouseDown_ = true;
        pressed_ = tree_->itemAt(mouse->position().toPoint());
        return false;
    }

private:
    bool sameNodes(const std::vector<ports::TreeView::Node>& nodes) const {
        if (nodes.size() != shown_.size()) return false;
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            const auto& a = nodes[i];
            const auto& b = shown_[i];
            if (a.key != b.key || a.text != b.text || a.image != b.image ||
                a.selectedImage != b.selectedImage)
                return false;
        }
        return true;
    }

    static int nodeIndexOf(const QTreeWidgetItem* item) {
        return item ? item->data(0, kNodeIndexRole).toInt() : -1;
    }

    QTreeWidgetItem* itemOf(int nodeIndex) const {
        if (nodeIndex < 0) return nullptr;
        // Without a sort the item stands at the node's own place.
        QTreeWidgetItem* item = tree_->topLevelItem(nodeIndex);
        if (item && nodeIndexOf(item) == nodeIndex) return item;
        for (int i = 0; i < tree_->topLevelItemCount(); ++i) {
            if (nodeIndexOf(tree_->topLevelItem(i)) == nodeIndex) return tree_->topLevelItem(i);
        }
        return nullptr;
    }

    // The columns' values may change without the node's text changing (a saved address).
    void refreshValues(QTreeWidgetItem* item, const ports::TreeView::Node& node) {
        if (!columns_.values) return;
        const QStringList values = columns_.values(node);
        for (int c = 1; c < tree_->columnCount(); ++c) {
            const QString value = c - 1 < values.size() ? values[c - 1] : QString();
            if (item->text(c) != value) item->setText(c, value);
        }
    }

    void rebuild(const std::vector<ports::TreeView::Node>& nodes) {
        pressed_ = nullptr;
        tree_->clear();
        QHash<int, QIcon> icons;
        auto iconFor = [&icons](int picture) {
            auto it = icons.find(picture);
            if (it == icons.end()) it = icons.insert(picture, pictureIcon(picture));
            return *it;
        };
        QList<QTreeWidgetItem*> items;
        items.reserve(static_cast<qsizetype>(nodes.size()));
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            const auto& node = nodes[i];
            auto* item = new QTreeWidgetItem(QStringList{fromModel(node.text)});
            QIcon icon = iconFor(node.image);
            if (node.selectedImage != node.image) {
                for (const QSize& size : iconFor(node.selectedImage).availableSizes()) {
                    icon.addPixmap(iconFor(node.selectedImage).pixmap(size), QIcon::Selected);
                }
            }
            item->setIcon(0, icon);
            item->setData(0, Qt::UserRole, fromModel(node.key));
            item->setData(0, kNodeIndexRole, static_cast<int>(i));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            refreshValues(item, node);
            items.append(item);
        }
        if (sortColumn_ >= 0) sortItems(items);
        tree_->addTopLevelItems(items);
        if (columns_.values && shown_.empty() && !nodes.empty()) {
            for (int c = 0; c + 1 < tree_->columnCount(); ++c) tree_->resizeColumnToContents(c);
        }
        shown_ = nodes;
    }

    // Ascending, descending, then the model's order again.
    void headerClicked(int column) {
        if (column != sortColumn_) {
            sortColumn_ = column;
            sortOrder_ = Qt::AscendingOrder;
        } else if (sortOrder_ == Qt::AscendingOrder) {
            sortOrder_ = Qt::DescendingOrder;
        } else {
            sortColumn_ = -1;
        }
        auto* header = tree_->header();
        header->setSortIndicatorShown(sortColumn_ >= 0);
        if (sortColumn_ >= 0) header->setSortIndicator(sortColumn_, sortOrder_);
        // The items move, the node shown stays the same: no selection event comes of it.
        const QSignalBlocker blocker(tree_);
        QList<QTreeWidgetItem*> items;
        while (tree_->topLevelItemCount() > 0) items.append(tree_->takeTopLevelItem(0));
        sortItems(items);
        tree_->addTopLevelItems(items);
        mirror();
    }

    void sortItems(QList<QTreeWidgetItem*>& items) const {
        const int column = sortColumn_;
        const bool descending = sortOrder_ == Qt::DescendingOrder;
        std::stable_sort(items.begin(), items.end(),
                         [column, descending](QTreeWidgetItem* a, QTreeWidgetItem* b) {
                             if (column < 0) return nodeIndexOf(a) < nodeIndexOf(b);
                             const QString x = a->text(column);
                             const QString y = b->text(column);
                             return descending ? naturalLess(y, x) : naturalLess(x, y);
                         });
    }

    void clickNode(int index) {
        if (index < 0) return;
        dispatch([&model = model_, index] { model.clickNode(index); });
    }

    void reportMouseUp(int button) {
        dispatch([&model = model_, button] {
            if (model.onMouseUp) model.onMouseUp(button);
        });
    }

    QTreeWidget* tree_;
    ports::TreeView& model_;
    TreeColumns columns_;
    std::vector<ports::TreeView::Node> shown_;
    QTreeWidgetItem* pressed_ = nullptr;
    bool mouseDown_ = false;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

}  // namespace

void bind(QTreeWidget* widget, ports::TreeView& model, ports::EventGate& gate,
          TreeColumns columns) {
    new TreeBinding(widget, model, gate, std::move(columns));
}

}  // namespace nms::ui
