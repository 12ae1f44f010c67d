#include "ui/binding.h"

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

// The tree's nodes as the view sees them, read from the tree control itself: no row is copied,
// and a row's texts are made only when the view asks for them. A view paints and measures the
// rows it shows, so a tree of ten thousand elements costs little more to build than an empty
// one, and a column value read from the database is read once, when first shown.
class NodeModel : public QAbstractItemModel {
public:
    NodeModel(const ports::TreeView& tree, const TreeColumns& columns, QObject* parent)
        : QAbstractItemModel(parent), tree_(tree), columns_(columns) {}

    // Flat, every index is a node's row (internal id 0). Grouped, the top rows are the groups
    // (internal id 0) and a node's index carries its group's number plus one.
    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override {
        if (row < 0 || column < 0 || column >= columnCount()) return {};
        if (!grouped()) {
            if (parent.isValid() || row >= rows_) return {};
            return createIndex(row, column);
        }
        if (!parent.isValid())
            return row < static_cast<int>(groups_.size()) ? createIndex(row, column, quintptr{0})
                                                          : QModelIndex();
        if (parent.internalId() != 0) return {};
        const auto& g = groups_[static_cast<std::size_t>(parent.row())];
        if (row >= static_cast<int>(g.nodes.size())) return {};
        return createIndex(row, column, static_cast<quintptr>(parent.row() + 1));
    }
    QModelIndex parent(const QModelIndex& child) const override {
        if (!grouped() || !child.isValid() || child.internalId() == 0) return {};
        return createIndex(static_cast<int>(child.internalId() - 1), 0, quintptr{0});
    }
    int rowCount(const QModelIndex& parent = {}) const override {
        if (!grouped()) return parent.isValid() ? 0 : rows_;
        if (!parent.isValid()) return static_cast<int>(groups_.size());
        if (parent.internalId() != 0 || parent.column() != 0) return 0;
        return static_cast<int>(groups_[static_cast<std::size_t>(parent.row())].nodes.size());
    }
    int nodeCount() const { return rows_; }
    int columnCount(const QModelIndex& parent = {}) const override {
        // Under a group's heading the nodes have the columns of the list.
        if (parent.isValid() && !isGroup(parent)) return 0;
        return std::max<int>(1, static_cast<int>(columns_.headers.size()));
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!index.isValid()) return Qt::NoItemFlags;
        // A group's heading is no element: it cannot be chosen.
        if (isGroup(index)) return Qt::ItemIsEnabled;
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < columns_.headers.size())
            return columns_.headers[section];
        return {};
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (isGroup(index)) return groupData(index, role);
        const ports::TreeView::Node* node = nodeAt(index);
        if (!index.isValid() || node == nullptr) return {};
        const int column = index.column();
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return text(nodeOf(index), *node, column);
        if (column != 0) return {};
        if (role == Qt::DecorationRole) return iconOf(*node);
        // The element's MAC text, as the plant monitor knows it.
        if (role == Qt::UserRole) return fromModel(node->key);
        return {};
    }

    // The tree control's nodes as they stand now, in the operator's order when one is chosen.
    void rebuild() {
        beginResetModel();
        values_.clear();
        rows_ = tree_.nodeCount();
        order_.clear();
        rowOfNode_.clear();
        if (sortColumn_ >= 0) sortRows();
        makeGroups();
        endResetModel();
    }

    bool grouped() const { return static_cast<bool>(groupOf_); }
    QString groupTitle(int group) const {
        return group >= 0 && group < static_cast<int>(groups_.size())
                   ? groups_[static_cast<std::size_t>(group)].heading.title
                   : QString();
    }
    // Grouped by `groupOf` from now on (empty: flat again).
    void setGrouping(TreeGroupOf groupOf) {
        beginResetModel();
        groupOf_ = std::move(groupOf);
        makeGroups();
        endResetModel();
    }
    // Asks each node's group again; true (and the rows moved) when one changed.
    bool regroup() {
        if (!grouped()) return false;
        std::vector<Group> before = std::move(groups_);
        makeGroups();
        if (sameGroups(before, groups_)) return false;
        std::vector<Group> after = std::move(groups_);
        groups_ = std::move(before);
        beginResetModel();
        groups_ = std::move(after);
        endResetModel();
        return true;
    }

    // Ascending or descending by a column; column -1: the tree's own order.
    void sortBy(int column, Qt::SortOrder order) {
        if (grouped()) {
            // Rows move between a group's places only; the groups stay.
            beginResetModel();
            sortColumn_ = column;
            sortOrder_ = order;
            order_.clear();
            rowOfNode_.clear();
            if (sortColumn_ >= 0) sortRows();
            makeGroups();
            endResetModel();
            return;
        }
        emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
        const QModelIndexList before = persistentIndexList();
        std::vector<int> nodes;
        nodes.reserve(static_cast<std::size_t>(before.size()));
        for (const auto& i : before) nodes.push_back(nodeOf(i));
        sortColumn_ = column;
        sortOrder_ = order;
        order_.clear();
        rowOfNode_.clear();
        if (sortColumn_ >= 0) sortRows();
        QModelIndexList after;
        after.reserve(before.size());
        for (qsizetype i = 0; i < before.size(); ++i)
            after.append(indexOf(nodes[static_cast<std::size_t>(i)], before[i].column()));
        changePersistentIndexList(before, after);
        emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    }

    // The node shown at an index (-1: none, or a group's heading), and the index of a node.
    int nodeOf(const QModelIndex& index) const {
        if (!index.isValid() || isGroup(index)) return -1;
        if (grouped()) {
            const auto& g = groups_[static_cast<std::size_t>(index.internalId() - 1)];
            return index.row() < static_cast<int>(g.nodes.size())
                       ? g.nodes[static_cast<std::size_t>(index.row())]
                       : -1;
        }
        const int row = index.row();
        if (row < 0 || row >= rows_) return -1;
        return order_.empty() ? row : order_[static_cast<std::size_t>(row)];
    }
    QModelIndex indexOf(int node, int column = 0) const {
        if (node < 0 || node >= rows_) return {};
        if (grouped()) {
            const auto [group, row] = placeOf_[static_cast<std::size_t>(node)];
            return createIndex(row, column, static_cast<quintptr>(group + 1));
        }
        return createIndex(rowOfNode_.empty() ? node : rowOfNode_[static_cast<std::size_t>(node)],
                           column);
    }

    // The columns' values may change without the node's text changing (a saved address).
    void refresh(int node) {
        if (!columns_.values || node < 0 || node >= rows_) return;
        auto it = values_.find(node);
        if (it == values_.end()) return;  // read when first shown
        QStringList now = columns_.values(tree_.nodes()[static_cast<std::size_t>(node)]);
        if (now == it->second) return;
        it->second = std::move(now);
        emit dataChanged(indexOf(node, 0), indexOf(node, columnCount() - 1));
    }

private:
    struct Group {
        TreeGroup heading;
        std::vector<int> nodes;  // in the order shown
    };

    bool isGroup(const QModelIndex& index) const {
        return grouped() && index.isValid() && index.internalId() == 0;
    }

    QVariant groupData(const QModelIndex& index, int role) const {
        if (index.column() != 0) return {};
        const auto& g = groups_[static_cast<std::size_t>(index.row())];
        if (role == Qt::DisplayRole)
            return QStringLiteral("%1 (%2)").arg(g.heading.title).arg(g.nodes.size());
        if (role == Qt::FontRole) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return {};
    }

    // The nodes in the order shown, under their groups' headings in rank order (then by title).
    void makeGroups() {
        groups_.clear();
        placeOf_.clear();
        if (!grouped()) return;
        const auto& nodes = tree_.nodes();
        std::vector<std::pair<TreeGroup, int>> keyed;
        keyed.reserve(static_cast<std::size_t>(rows_));
        for (int row = 0; row < rows_; ++row) {
            const int node = order_.empty() ? row : order_[static_cast<std::size_t>(row)];
            keyed.emplace_back(groupOf_(nodes[static_cast<std::size_t>(node)]), node);
        }
        std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
            if (a.first.rank != b.first.rank) return a.first.rank < b.first.rank;
            return a.first.title < b.first.title;
        });
        placeOf_.resize(static_cast<std::size_t>(rows_));
        for (auto& [heading, node] : keyed) {
            if (groups_.empty() || groups_.back().heading.rank != heading.rank ||
                groups_.back().heading.title != heading.title)
                groups_.push_back({std::move(heading), {}});
            auto& g = groups_.back();
            placeOf_[static_cast<std::size_t>(node)] = {static_cast<int>(groups_.size()) - 1,
                                                        static_cast<int>(g.nodes.size())};
            g.nodes.push_back(node);
        }
    }

    static bool sameGroups(const std::vector<Group>& a, const std::vector<Group>& b) {
        if (a.size() != b.size()) return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (a[i].heading.title != b[i].heading.title || a[i].nodes != b[i].nodes) return false;
        return true;
    }

    const ports::TreeView::Node* nodeAt(const QModelIndex& index) const {
        const int node = nodeOf(index);
        if (node < 0 || node >= tree_.nodeCount()) return nullptr;
        return &tree_.nodes()[static_cast<std::size_t>(node)];
    }

    QString text(int nodeIndex, const ports::TreeView::Node& node, int column) const {
        if (column == 0) return fromModel(node.text);
        if (!columns_.values) return {};
        auto it = values_.find(nodeIndex);
        if (it == values_.end()) it = values_.emplace(nodeIndex, columns_.values(node)).first;
        return column - 1 < it->second.size() ? it->second[column - 1] : QString();
    }

    // One icon per pair of pictures, shared by every node that shows it.
    QIcon iconOf(const ports::TreeView::Node& node) const {
        const QPair<int, int> pictures{node.image, node.selectedImage};
        auto it = icons_.find(pictures);
        if (it != icons_.end()) return *it;
        QIcon icon = pictureIcon(node.image);
        if (node.selectedImage != node.image) {
            // The picture engine keeps one pixmap per state and scales it: the largest.
            const QIcon selected = pictureIcon(node.selectedImage);
            icon.addPixmap(selected.pixmap(selected.availableSizes().constLast()), QIcon::Selected);
        }
        return *icons_.insert(pictures, icon);
    }

    void sortRows() {
        const auto& nodes = tree_.nodes();
        std::vector<QString> keys;
        keys.reserve(static_cast<std::size_t>(rows_));
        for (int i = 0; i < rows_; ++i)
            keys.push_back(text(i, nodes[static_cast<std::size_t>(i)], sortColumn_));
        order_.resize(static_cast<std::size_t>(rows_));
        for (int i = 0; i < rows_; ++i) order_[static_cast<std::size_t>(i)] = i;
        const bool descending = sortOrder_ == Qt::DescendingOrder;
        std::stable_sort(order_.begin(), order_.end(), [&keys, descending](int a, int b) {
            const QString& x = keys[static_cast<std::size_t>(a)];
            const QString& y = keys[static_cast<std::size_t>(b)];
            return descending ? naturalLess(y, x) : naturalLess(x, y);
        });
        rowOfNode_.resize(order_.size());
        for (std::size_t r = 0; r < order_.size(); ++r)
            rowOfNode_[static_cast<std::size_t>(order_[r])] = static_cast<int>(r);
    }

    const ports::TreeView& tree_;
    const TreeColumns& columns_;
    int rows_ = 0;                // the nodes the view was last told of
    std::vector<int> order_;      // node by row, when sorted
    std::vector<int> rowOfNode_;  // row by node, when sorted
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    TreeGroupOf groupOf_;
    std::vector<Group> groups_;
    std::vector<std::pair<int, int>> placeOf_;  // group and row by node, when grouped
    mutable std::unordered_map<int, QStringList> values_;  // by node, for the rows shown so far
    mutable QHash<QPair<int, int>, QIcon> icons_;
};

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
