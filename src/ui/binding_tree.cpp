#include "ui/binding.h"

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

class TreeBinding : public Binding {
public:
    TreeBinding(QTreeWidget* tree, ports::TreeView& model, ports::EventGate& gate)
        : Binding(tree, model, &gate), tree_(tree), model_(model) {
        // A flat list of elements in the order they were added; no sorting, no menu.
        tree_->setColumnCount(1);
        tree_->setHeaderHidden(true);
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
                    clickNode(tree_->indexOfTopLevelItem(item));
                });
        mirror();
    }

protected:
    void mirrorState() override {
        const auto& nodes = model_.nodes();
        if (!sameNodes(nodes)) rebuild(nodes);
        const int selected = model_.selectedIndex();
        QTreeWidgetItem* item = selected >= 0 ? tree_->topLevelItem(selected) : nullptr;
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
            if (item != nullptr && item == pressed_) clickNode(tree_->indexOfTopLevelItem(item));
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
        for (const auto& node : nodes) {
            auto* item = new QTreeWidgetItem(QStringList{fromModel(node.text)});
            QIcon icon = iconFor(node.image);
            if (node.selectedImage != node.image) {
                for (const QSize& size : iconFor(node.selectedImage).availableSizes()) {
                    icon.addPixmap(iconFor(node.selectedImage).pixmap(size), QIcon::Selected);
                }
            }
            item->setIcon(0, icon);
            item->setData(0, Qt::UserRole, fromModel(node.key));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            items.append(item);
        }
        tree_->addTopLevelItems(items);
        shown_ = nodes;
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
    std::vector<ports::TreeView::Node> shown_;
    QTreeWidgetItem* pressed_ = nullptr;
    bool mouseDown_ = false;
};

}  // namespace

void bind(QTreeWidget* widget, ports::TreeView& model, ports::EventGate& gate) {
    new TreeBinding(widget, model, gate);
}

}  // namespace nms::ui
