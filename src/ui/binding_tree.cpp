#include "ui/binding.h"

#include <QApplication>
#include <QHeaderView>

namespace nms::ui {
namespace {

using namespace detail;

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

// An element's row, whose texts are made only when the view asks for them: a view paints and
// measures the rows it shows, so a tree of ten thousand elements costs little more to build
// than an empty one, and a column value read from the database is read once, when first shown.
class NodeItem : public QTreeWidgetItem {
public:
    using Values = std::function<QStringList(const ports::TreeView::Node&)>;
    // `nodes` is the binding's copy of the nodes shown, which outlives the items made from it.
    NodeItem(const std::vector<ports::TreeView::Node>& nodes, int index, const QIcon& icon, const Values* values)
        : QTreeWidgetItem(UserType), nodes_(nodes), index_(index), icon_(icon), values_(values) {
        setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }

    QVariant data(int column, int role) const override {
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            if (column == 0) return fromModel(node().text);
            const QStringList& v = columnValues();
            return column - 1 < v.size() ? v[column - 1] : QString();
        }
        if (column == 0) {
            if (role == Qt::DecorationRole) return icon_;
            if (role == Qt::UserRole) return fromModel(node().key);
        }
        return QTreeWidgetItem::data(column, role);
    }

    int nodeIndex() const { return index_; }

    // The columns' values may change without the node's text changing (a saved address).
    void refresh() {
        if (!values_ || !*values_) return;
        QStringList now = (*values_)(node());
        if (cached_ && now == values_cache_) return;
        values_cache_ = std::move(now);
        cached_ = true;
        emitDataChanged();
    }

private:
    const QStringList& columnValues() const {
        if (!cached_) {
            if (values_ && *values_) values_cache_ = (*values_)(node());
            cached_ = true;
        }
        return values_cache_;
    }

    const ports::TreeView::Node& node() const { return nodes_[static_cast<std::size_t>(index_)]; }

    const std::vector<ports::TreeView::Node>& nodes_;
    int index_;
    QIcon icon_;
    const Values* values_;
    mutable QStringList values_cache_;
    mutable bool cached_ = false;
};

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
            header->setSortIndicatorShown(false);
            header->setStretchLastSection(true);
            header->setSectionResizeMode(QHeaderView::Interactive);
            header->setResizeContentsPrecision(64);
            connect(header, &QHeaderView::sectionClicked, this,
                    [this](int column) { headerClicked(column); });
        }
        tree_->setRootIsDecorated(false);
        tree_->setItemsExpandable(false);
        tree_->setUniformRowHeights(true);
        // The view's own sorting stays off (it would reorder by text, and the model's order is
        // the station's); turning it off also makes the header unclickable, so the header's clicks
        // are allowed again after it and sorted here.
        tree_->setSortingEnabled(false);
        if (withColumns) tree_->header()->setSectionsClickable(true);
        tree_->setSelectionMode(QAbstractItemView::SingleSelection);
        tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tree_->setContextMenuPolicy(Qt::NoContextMenu);
        viewport_ = tree_->viewport();
        viewport_->installEventFilter(this);
        // Keyboard moves select a node as a click does; mouse clicks are taken on release below.
        // A press anywhere else in the list (its header, its scroll bar) may give the list the
        // focus, and the view then makes its first row current: that is no operator's choice.
        connect(tree_, &QTreeWidget::currentItemChanged, this,
                [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
                    if (mouseDown_ || item == nullptr) return;
                    //TMP if (QApplication::mouseButtons() != Qt::NoButton) return;
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
        if (item) static_cast<NodeItem*>(item)->refresh();
        if (tree_->currentItem() != item || (item && !item->isSelected())) {
            tree_->setCurrentItem(item);
            if (item == nullptr) tree_->clearSelection();
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        // The viewport as it was when the filter was installed: while the tree is being destroyed
        // its viewport still sends events, and the tree can no longer be asked for it.
        if (watched != viewport_) return false;
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

    // Every item of this tree is a NodeItem, which remembers its node whatever order the
    // operator sorted.
    static int nodeIndexOf(const QTreeWidgetItem* item) {
        return item ? static_cast<const NodeItem*>(item)->nodeIndex() : -1;
    }

    QTreeWidgetItem* itemOf(int nodeIndex) const {
        if (nodeIndex < 0 || static_cast<std::size_t>(nodeIndex) >= items_.size()) return nullptr;
        return items_[static_cast<std::size_t>(nodeIndex)];
    }

    void rebuild(const std::vector<ports::TreeView::Node>& nodes) {
        pressed_ = nullptr;
        items_.clear();
        tree_->clear();
        QHash<int, QIcon> icons;
        auto iconFor = [&icons](int picture) {
            auto it = icons.find(picture);
            if (it == icons.end()) it = icons.insert(picture, pictureIcon(picture));
            return *it;
        };
        QHash<QPair<int, int>, QIcon> combined;
        auto iconOf = [&](const ports::TreeView::Node& node) {
            const QPair<int, int> pictures{node.image, node.selectedImage};
            auto it = combined.find(pictures);
            if (it != combined.end()) return *it;
            QIcon icon = iconFor(node.image);
            if (node.selectedImage != node.image) {
                // The picture engine keeps one pixmap per state and scales it: the largest.
                const QIcon selected = iconFor(node.selectedImage);
                icon.addPixmap(selected.pixmap(selected.availableSizes().constLast()), QIcon::Selected);
            }
            return *combined.insert(pictures, icon);
        };
        const bool first = shown_.empty();
        shown_ = nodes;  // the items read their nodes from here
        QList<QTreeWidgetItem*> items;
        items.reserve(static_cast<qsizetype>(shown_.size()));
        items_.reserve(shown_.size());
        for (std::size_t i = 0; i < shown_.size(); ++i) {
            items_.push_back(new NodeItem(shown_, static_cast<int>(i), iconOf(shown_[i]), &columns_.values));
            items.append(items_.back());
        }
        if (sortColumn_ >= 0) sortItems(items);
        tree_->addTopLevelItems(items);
        if (columns_.values && first && !nodes.empty()) {
            // Measured on the first rows only (every row would make every row's texts), and at
            // least as wide as the widest value the column can hold.
            const QFontMetrics metrics(tree_->font());
            for (int c = 0; c + 1 < tree_->columnCount(); ++c) {
                tree_->resizeColumnToContents(c);
                if (c >= 1 && c - 1 < columns_.widest.size()) {
                    const int room = metrics.horizontalAdvance(columns_.widest[c - 1]) + 2 * metrics.averageCharWidth();
                    if (tree_->columnWidth(c) < room) tree_->setColumnWidth(c, room);
                }
            }
        }
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
    QWidget* viewport_ = nullptr;
    ports::TreeView& model_;
    TreeColumns columns_;
    std::vector<ports::TreeView::Node> shown_;
    std::vector<NodeItem*> items_;  // by node index; owned by the tree
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
