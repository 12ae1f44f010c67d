#include "ui/bindings.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include <algorithm>
#include <utility>
#include <vector>

#include "platform/qt_text.h"
#include "ui/icons.h"
#include "ui/level_bar.h"

namespace nms::ui {

using platform::fromModel;
using platform::toModel;
using Kind = ports::EventGate::Kind;

QColor colorOf(ports::Color color, const QPalette& palette) {
    if (ports::isSystemColor(color)) {
        switch (color & 0xFFu) {
        case 0x05: return palette.color(QPalette::Base);        // window (text box) background
        case 0x08: return palette.color(QPalette::Text);        // window text
        case 0x0D: return palette.color(QPalette::Highlight);
        case 0x0E: return palette.color(QPalette::HighlightedText);
        case 0x12: return palette.color(QPalette::ButtonText);
        case 0x0F:                                              // button face
        default: return palette.color(QPalette::Button);
        }
    }
    return QColor(ports::redOf(color), ports::greenOf(color), ports::blueOf(color));
}

namespace {

// Text that stays readable on a background the model chose (the system's text colour may be
// light in a dark theme).
QColor textOn(const QColor& background) { return background.lightness() > 140 ? QColor(Qt::black) : QColor(Qt::white); }

// The part every binding shares: it lives as a child of its widget and mirrors the model on
// every change. When the widget goes, the model's hook finds it gone and does nothing, so the
// model and the widget may end in either order.
class Binding : public QObject {
public:
    Binding(QWidget* widget, ports::Control& control, ports::EventGate* gate = nullptr)
        : QObject(widget), widget_(widget), control_(control), gate_(gate) {
        QPointer<Binding> self(this);
        control_.onViewChanged = [self] {
            if (self) self->mirror();
        };
    }

    void mirror() {
        const QSignalBlocker blocker(widget_);
        mirrorState();
        widget_->setEnabled(control_.enabled());
        // A top-level widget (a test's loose widget) is never shown by its binding.
        if (!widget_->isWindow() || !control_.visible()) widget_->setVisible(control_.visible());
        // Mirrored on every change of the control (a level label changes 20 times a second):
        // the tool tip only when it differs.
        const QString tip = fromModel(control_.toolTip());
        if (widget_->toolTip() != tip) widget_->setToolTip(tip);
    }

protected:
    virtual void mirrorState() = 0;

    // Background and text colours of one palette role pair; a system colour of the role's own
    // kind leaves the widget on the palette it inherits.
    void applyColor(QPalette::ColorRole background, QPalette::ColorRole text, ports::Color systemDefault) {
        const ports::Color color = control_.backColor();
        QPalette palette;  // nothing set: every role is inherited
        if (color != systemDefault) {
            const QColor c = colorOf(color, widget_->parentWidget() ? widget_->parentWidget()->palette()
                                                                      : QApplication::palette(widget_));
            palette.setColor(background, c);
            palette.setColor(text, textOn(c));
        }
        widget_->setPalette(palette);
    }

    // Hands an operator's action to the model, never inside another event.
    void dispatch(std::function<void()> action) { gate_->dispatch(Kind::Operator, std::move(action)); }

    QWidget* widget_;
    ports::Control& control_;
    ports::EventGate* gate_;
};

class LabelBinding : public Binding {
public:
    LabelBinding(QLabel* label, ports::Label& model) : Binding(label, model), label_(label), model_(model) {
        label_->setTextFormat(Qt::PlainText);
        mirror();
    }

protected:
    void mirrorState() override {
        label_->setText(fromModel(model_.caption()));
        label_->setAutoFillBackground(model_.backColor() != ports::kSystemButtonFace);
        applyColor(QPalette::Window, QPalette::WindowText, ports::kSystemButtonFace);
    }

private:
    QLabel* label_;
    ports::Label& model_;
};

// An ampersand in a caption is shown as written ("O&M:"), not taken as a shortcut mark.
QString literalAmpersands(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }

class FrameBinding : public Binding {
public:
    FrameBinding(QGroupBox* box, ports::Label& model) : Binding(box, model), box_(box), model_(model) { mirror(); }

protected:
    void mirrorState() override { box_->setTitle(literalAmpersands(fromModel(model_.caption()))); }

private:
    QGroupBox* box_;
    ports::Label& model_;
};

// A window title: only the caption is mirrored; the window's visibility is its own.
class TitleBinding : public QObject {
public:
    TitleBinding(QWidget* window, ports::Label& model) : QObject(window), window_(window), model_(model) {
        QPointer<TitleBinding> self(this);
        model_.onViewChanged = [self] {
            if (self) self->mirror();
        };
        mirror();
    }
    void mirror() { window_->setWindowTitle(fromModel(model_.caption())); }

private:
    QWidget* window_;
    ports::Label& model_;
};

class TextBoxBinding : public Binding {
public:
    TextBoxBinding(QLineEdit* edit, ports::TextBox& model, ports::EventGate& gate)
        : Binding(edit, model, &gate), edit_(edit), model_(model) {
        edit_->installEventFilter(this);
        connect(edit_, &QLineEdit::textEdited, this, [this](const QString& text) { operatorEdited(text); });
        mirror();
    }

protected:
    void mirrorState() override {
        const QString text = fromModel(model_.text());
        // The operator may type up to the model's limit; a longer text set by the program is
        // shown whole, and can be shortened but not lengthened.
        const int limit = model_.maxLength > 0 ? std::max<int>(model_.maxLength, static_cast<int>(text.size()))
                                               : 32767;
        if (edit_->maxLength() != limit) edit_->setMaxLength(limit);
        bool forceSelection = false;
        if (edit_->text() != text) {
            edit_->setText(text);
            forceSelection = true;
        }
        const std::pair<int, int> selection{model_.selStart, model_.selLength};
        if (!editing_ && (forceSelection || selection != shownSelection_)) applySelection();
        applyColor(QPalette::Base, QPalette::Text, ports::kSystemWindowBackground);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != edit_) return false;
        switch (event->type()) {
        case QEvent::FocusIn: {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            // Coming back from a menu or another window is not entering the box.
            if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason || model_.hasFocus()) break;
            dispatch([&model = model_] { model.gotFocus(); });
            if (reason == Qt::MouseFocusReason) {
                // The click that gave the focus places the cursor after this event; the
                // selection the model chose on entry is shown again once the click is done.
                QPointer<TextBoxBinding> self(this);
                QTimer::singleShot(0, this, [self] {
                    if (self) self->applySelection();
                });
            }
            break;
        }
        case QEvent::FocusOut: {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason || !model_.hasFocus()) break;
            dispatch([&model = model_] { model.lostFocus(); });
            break;
        }
        case QEvent::KeyRelease:
            if (!static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
                dispatch([&model = model_] {
                    if (model.onKeyUp) model.onKeyUp();
                });
            }
            break;
        default: break;
        }
        return false;
    }

private:
    void operatorEdited(const QString& text) {
        editing_ = true;
        dispatch([&model = model_, value = toModel(text)] {
            model.setText(value, ports::Origin::Operator);
        });
        editing_ = false;
        // The cursor is where the operator's typing left it; the model learns it silently.
        const bool hasSelection = edit_->hasSelectedText();
        model_.selStart = hasSelection ? edit_->selectionStart() : edit_->cursorPosition();
        model_.selLength = hasSelection ? static_cast<int>(edit_->selectedText().size()) : 0;
        shownSelection_ = {model_.selStart, model_.selLength};
    }

    void applySelection() {
        const QSignalBlocker blocker(edit_);
        const int length = static_cast<int>(edit_->text().size());
        const int start = std::clamp(model_.selStart, 0, length);
        const int count = std::clamp(model_.selLength, 0, length - start);
        if (count > 0) edit_->setSelection(start, count);
        else edit_->setCursorPosition(start);
        shownSelection_ = {model_.selStart, model_.selLength};
    }

    QLineEdit* edit_;
    ports::TextBox& model_;
    bool editing_ = false;
    std::pair<int, int> shownSelection_{-1, -1};
};

class ListBinding : public Binding {
public:
    ListBinding(QComboBox* combo, ports::ListControl& model, ports::EventGate& gate)
        : Binding(combo, model, &gate), combo_(combo), model_(model) {
        connect(combo_, &QComboBox::activated, this, [this](int index) {
            dispatch([&model = model_, index] { model.setListIndex(index, ports::Origin::Operator); });
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
        if (combo_->currentIndex() != model_.listIndex()) combo_->setCurrentIndex(model_.listIndex());
    }

private:
    QComboBox* combo_;
    ports::ListControl& model_;
};

class CheckBoxBinding : public Binding {
public:
    CheckBoxBinding(QCheckBox* box, ports::CheckBox& model, ports::EventGate& gate)
        : Binding(box, model, &gate), box_(box), model_(model) {
        connect(box_, &QCheckBox::clicked, this, [this](bool checked) {
            dispatch([&model = model_, checked] { model.setChecked(checked, ports::Origin::Operator); });
            mirror();
        });
        mirror();
    }

protected:
    void mirrorState() override {
        // A check box's '&' marks its access key, as on a button ("Auto clea&r counters").
        box_->setText(fromModel(model_.caption()));
        box_->setChecked(model_.checked());
    }

private:
    QCheckBox* box_;
    ports::CheckBox& model_;
};

class ScrollBarBinding : public Binding {
public:
    ScrollBarBinding(QAbstractSlider* slider, ports::ScrollBar& model, ports::EventGate& gate)
        : Binding(slider, model, &gate), slider_(slider), model_(model) {
        // One change per arrow click, page click or key step, and one when a dragged thumb is
        // released: the value does not follow the thumb while it is dragged.
        slider_->setTracking(false);
        connect(slider_, &QAbstractSlider::valueChanged, this, [this](int value) {
            dispatch([&model = model_, value] { model.setValue(value, ports::Origin::Operator); });
            mirror();
        });
        connect(slider_, &QAbstractSlider::sliderMoved, this, [this](int) {
            dispatch([&model = model_] {
                if (model.onScroll) model.onScroll();
            });
        });
        mirror();
    }

protected:
    void mirrorState() override {
        if (slider_->isSliderDown()) return;  // never pull the thumb from under the operator's hand
        slider_->setRange(model_.min(), model_.max());
        slider_->setSingleStep(model_.smallChange);
        slider_->setPageStep(model_.largeChange);
        slider_->setValue(model_.value());
    }

private:
    QAbstractSlider* slider_;
    ports::ScrollBar& model_;
};

class ButtonBinding : public Binding {
public:
    ButtonBinding(QAbstractButton* button, ports::Button& model, ports::EventGate& gate)
        : Binding(button, model, &gate), button_(button), model_(model) {
        connect(button_, &QAbstractButton::clicked, this,
                [this] { dispatch([&model = model_] { model.click(); }); });
        mirror();
    }

protected:
    void mirrorState() override {
        // A button's "&" marks its shortcut key, as in its design caption ("&Set").
        button_->setText(fromModel(model_.caption()));
        applyColor(QPalette::Button, QPalette::ButtonText, ports::kSystemButtonFace);
    }

private:
    QAbstractButton* button_;
    ports::Button& model_;
};

class ImageBarBinding : public Binding {
public:
    ImageBarBinding(LevelBar* bar, ports::ImageBar& model) : Binding(bar, model), bar_(bar), model_(model) { mirror(); }

protected:
    // The model measures the picture in twips, 15 to a pixel.
    void mirrorState() override { bar_->setVisibleWidth(model_.width() / 15); }

private:
    LevelBar* bar_;
    ports::ImageBar& model_;
};

int mouseButtonNumber(Qt::MouseButton button) {
    switch (button) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
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
        connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item, QTreeWidgetItem*) {
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
        if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick) {
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
            if (a.key != b.key || a.text != b.text || a.image != b.image || a.selectedImage != b.selectedImage) return false;
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
            sameShape = actions_[i]->isSeparator() == (items[i].kind == ports::Toolbar::Kind::Separator) &&
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

void bind(QLabel* widget, ports::Label& model) { new LabelBinding(widget, model); }
void bind(QGroupBox* widget, ports::Label& model) { new FrameBinding(widget, model); }
void bindTitle(QWidget* window, ports::Label& model) { new TitleBinding(window, model); }
void bind(QLineEdit* widget, ports::TextBox& model, ports::EventGate& gate) { new TextBoxBinding(widget, model, gate); }
void bind(QComboBox* widget, ports::ListControl& model, ports::EventGate& gate) { new ListBinding(widget, model, gate); }
void bind(QCheckBox* widget, ports::CheckBox& model, ports::EventGate& gate) { new CheckBoxBinding(widget, model, gate); }
void bind(QAbstractSlider* widget, ports::ScrollBar& model, ports::EventGate& gate) {
    new ScrollBarBinding(widget, model, gate);
}
void bind(QAbstractButton* widget, ports::Button& model, ports::EventGate& gate) { new ButtonBinding(widget, model, gate); }
void bind(LevelBar* widget, ports::ImageBar& model) { new ImageBarBinding(widget, model); }
void bind(QTreeWidget* widget, ports::TreeView& model, ports::EventGate& gate) { new TreeBinding(widget, model, gate); }
void bind(QToolBar* widget, ports::Toolbar& model, ports::EventGate& gate) { new ToolbarBinding(widget, model, gate); }

}  // namespace nms::ui
