#include "ui/binding.h"
#include "ui/tree_node_model.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTreeView>

#include <unordered_map>

namespace nms::ui {
namespace {

using namespace detail;

// Where a bound tree keeps its binding, for grouping it later.
constexpr const char* kBindingProperty = "nmsTreeBinding";

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

class TreeBinding : public Binding {
public:
    TreeBinding(QTreeView* tree, ports::TreeView& model, ports::EventGate& gate,
                TreeColumns columns)
        : Binding(tree, model, &gate), tree_(tree), model_(model), columns_(std::move(columns)) {
        // A flat list of elements in the model's order; no menu. With columns, the operator may
        // sort by one of them.
        const bool withColumns = columns_.values && columns_.headers.size() > 1;
        if (!withColumns) columns_ = {};
        nodes_ = new NodeModel(model_, columns_, this);
        tree_->setModel(nodes_);
        tree_->setHeaderHidden(!withColumns);
        if (withColumns) {
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
        tree_->setSelectionBehavior(QAbstractItemView::SelectRows);
        tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        tree_->setContextMenuPolicy(Qt::NoContextMenu);
        viewport_ = tree_->viewport();
        viewport_->installEventFilter(this);
        // Keyboard moves select a node as a click does; mouse clicks are taken on release below.
        // A press anywhere else in the list (its header, its scroll bar) may give the list the
        // focus, and the view then makes its first row current: that is no operator's choice.
        connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
                [this](const QModelIndex& current, const QModelIndex&) {
                    if (mirroring_ || mouseDown_ || !current.isValid()) return;
                    clickNode(nodes_->nodeOf(current));
                });
        mirror();
    }

protected:
    void mirrorState() override {
        // The view's own moves of its current row while it is made to show the model are not the
        // operator's.
        const QScopedValueRollback<bool> mirroring(mirroring_, true);
        if (model_.revision() != shownRevision_) rebuild();
        const int selected = model_.selectedIndex();
        nodes_->refresh(selected);
        const QModelIndex index = nodes_->indexOf(selected);
        if (tree_->currentIndex() != index ||
            (index.isValid() && !tree_->selectionModel()->isSelected(index))) {
            tree_->setCurrentIndex(index);
            if (!index.isValid()) tree_->clearSelection();
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
        const int node = nodes_->nodeOf(tree_->indexAt(mouse->position().toPoint()));
        if (type == QEvent::MouseButtonRelease) {
            mouseDown_ = false;
            if (node >= 0 && node == pressed_) clickNode(node);
            pressed_ = -1;
            reportMouseUp(button);
            // A press that was dragged away selects nothing: show the model's selection again.
            mirror();
            return false;
        }
        mouseDown_ = true;
        pressed_ = node;
        return false;
    }

private:
    void rebuild() {
        pressed_ = -1;
        const bool first = shownRevision_ == 0 || nodes_->nodeCount() == 0;
        shownRevision_ = model_.revision();
        const Place place = placeNow();
        nodes_->rebuild();
        // The headings the operator closed stay closed when the list is read again.
        if (nodes_->grouped()) restore(place, false);
        if (columns_.values && first && nodes_->nodeCount() > 0) {
            // Measured on the first rows only (every row would make every row's texts), and at
            // least as wide as the widest value the column can hold.
            const QFontMetrics metrics(tree_->font());
            for (int c = 0; c + 1 < nodes_->columnCount(); ++c) {
                tree_->resizeColumnToContents(c);
                if (c >= 1 && c - 1 < columns_.widest.size()) {
                    const int room = metrics.horizontalAdvance(columns_.widest[c - 1]) +
                                     2 * metrics.averageCharWidth();
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
        const Place place = placeNow();
        {
            // The rows move, the node shown stays the same: no selection event comes of it.
            const QScopedValueRollback<bool> mirroring(mirroring_, true);
            nodes_->sortBy(sortColumn_, sortOrder_);
            // A grouped list is made anew: its headings stay open or closed as they were.
            if (nodes_->grouped()) restore(place, false);
        }
        if (nodes_->grouped())
            mirrorInPlace();
        else
            mirror();
    }

public:
    void setGrouping(TreeGroupOf groupOf) {
        const bool grouped = static_cast<bool>(groupOf);
        {
            const QScopedValueRollback<bool> mirroring(mirroring_, true);
            nodes_->setGrouping(std::move(groupOf));
            // Headings open and close; the rows under them are the list.
            tree_->setRootIsDecorated(grouped);
            tree_->setItemsExpandable(grouped);
            if (grouped) tree_->expandAll();
            // Under a heading a node stands further right: its column makes room for that, so
            // that its health mark never covers its text.
            if (columns_.values && nodes_->nodeCount() > 0) tree_->resizeColumnToContents(0);
        }
        mirror();
    }
    void regroup() {
        if (!nodes_->grouped()) return;
        const Place place = placeNow();
        bool moved = false;
        {
            const QScopedValueRollback<bool> mirroring(mirroring_, true);
            moved = nodes_->regroup();
            if (moved) restore(place, true);
        }
        if (moved) mirrorInPlace();
    }

private:
    // What the operator sees of a grouped list: the headings closed, and the row at the top.
    struct Place {
        QStringList closed;
        int topNode = -1;
        QString topHeading;
        int scrolled = 0;
    };
    Place placeNow() const {
        Place p;
        p.scrolled = tree_->verticalScrollBar()->value();
        if (!nodes_->grouped()) return p;
        for (int g = 0; g < nodes_->rowCount(); ++g)
            if (!tree_->isExpanded(nodes_->index(g, 0))) p.closed << nodes_->groupTitle(g);
        const QModelIndex top = tree_->indexAt(QPoint(1, 1));
        p.topNode = nodes_->nodeOf(top);
        if (p.topNode < 0 && top.isValid()) p.topHeading = nodes_->groupTitle(top.row());
        return p;
    }
    // The headings as they were; the row that was at the top at the top again (`followRow`),
    // or the list scrolled as far as it was.
    void restore(const Place& p, bool followRow) {
        if (nodes_->grouped()) {
            for (int g = 0; g < nodes_->rowCount(); ++g)
                tree_->setExpanded(nodes_->index(g, 0), !p.closed.contains(nodes_->groupTitle(g)));
        }
        QModelIndex top;
        if (followRow && p.topNode >= 0) top = nodes_->indexOf(p.topNode);
        for (int g = 0; followRow && !top.isValid() && !p.topHeading.isEmpty() &&
                        g < nodes_->rowCount();
             ++g)
            if (nodes_->groupTitle(g) == p.topHeading) top = nodes_->index(g, 0);
        if (top.isValid() && (!top.parent().isValid() || tree_->isExpanded(top.parent())))
            tree_->scrollTo(top, QAbstractItemView::PositionAtTop);
        else
            tree_->verticalScrollBar()->setValue(p.scrolled);
    }
    // Shows the model's selection without moving the list to it: the rows moved under the
    // operator's eyes, the operator did not choose anything.
    void mirrorInPlace() {
        const bool scrolls = tree_->hasAutoScroll();
        tree_->setAutoScroll(false);
        mirror();
        tree_->setAutoScroll(scrolls);
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

    QTreeView* tree_;
    QWidget* viewport_ = nullptr;
    ports::TreeView& model_;
    TreeColumns columns_;
    NodeModel* nodes_ = nullptr;  // owned by this binding
    std::uint64_t shownRevision_ = 0;
    int pressed_ = -1;  // the node a left press went down on
    bool mouseDown_ = false;
    bool mirroring_ = false;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

}  // namespace

void bind(QTreeView* widget, ports::TreeView& model, ports::EventGate& gate, TreeColumns columns) {
    auto* binding = new TreeBinding(widget, model, gate, std::move(columns));
    widget->setProperty(kBindingProperty, QVariant::fromValue(static_cast<void*>(binding)));
}

namespace {

TreeBinding* bindingOf(QTreeView* widget) {
    return widget ? static_cast<TreeBinding*>(widget->property(kBindingProperty).value<void*>())
                  : nullptr;
}

}  // namespace

void groupTree(QTreeView* widget, TreeGroupOf groupOf) {
    if (auto* binding = bindingOf(widget)) binding->setGrouping(std::move(groupOf));
}

void regroupTree(QTreeView* widget) {
    if (auto* binding = bindingOf(widget)) binding->regroup();
}

}  // namespace nms::ui
