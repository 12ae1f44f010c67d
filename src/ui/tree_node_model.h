#pragma once

// The model a bound tree view shows: the tree control's nodes, sorted by a column and grouped
// under headings when the operator asks, read from the control itself.

#include <QAbstractItemModel>
#include <QFont>
#include <QHash>
#include <QIcon>
#include <QStringList>

#include <algorithm>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ui/binding.h"
#include "ui/bindings.h"
#include "ui/icons.h"

namespace nms::ui::detail {

// "192.168.1.9" before "192.168.1.10", "3.8" before "3.71" as firmware numbers do: two numbers
// compare as numbers, other texts by their runs of digits as numbers and the rest without case.
inline bool naturalLess(const QString& a, const QString& b) {
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

}  // namespace nms::ui::detail
