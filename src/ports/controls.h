#pragma once

// The controls of a window model. Each is a small value object holding what the operator sees
// (value, enabled, visible, caption or text, tool tip, colour) and one change event that runs
// whenever the value changes, whether program code or the operator changed it. Views mirror a
// control through onViewChanged and report the operator's actions back with Origin::Operator.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ports/colors.h"
#include "ports/event_gate.h"
#include "ports/origin.h"
#include "ports/scheduler.h"

namespace nms::ports {

class Control {
public:
    explicit Control(std::string name = {}) : name_(std::move(name)) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& name() const { return name_; }

    bool enabled() const { return enabled_; }
    void setEnabled(bool on);
    bool visible() const { return visible_; }
    void setVisible(bool on);
    const std::string& toolTip() const { return toolTip_; }
    void setToolTip(std::string tip);
    Color backColor() const { return backColor_; }
    void setBackColor(Color c);

    // Set by a view to mirror every change of the model into its widget.
    std::function<void()> onViewChanged;

protected:
    void notifyView() {
        if (onViewChanged) onViewChanged();
    }
    // Gives `state` its new value and tells the view, only when the value differs; true then.
    template <class T, class V>
    bool change(T& state, V&& value) {
        if (state == value) return false;
        state = std::forward<V>(value);
        notifyView();
        return true;
    }

private:
    std::string name_;
    bool enabled_ = true;
    bool visible_ = true;
    std::string toolTip_;
    Color backColor_ = kSystemButtonFace;
};

// A control that shows a caption of its own: a check box's text, a button's, a window's title.
class CaptionedControl : public Control {
public:
    using Control::Control;
    const std::string& caption() const { return caption_; }
    void setCaption(std::string text) { change(caption_, std::move(text)); }

private:
    std::string caption_;
};

// A label, a frame caption or a window caption. Its change event runs when the caption changes.
class Label : public Control {
public:
    using Control::Control;
    const std::string& caption() const { return caption_; }
    void setCaption(std::string text);
    std::function<void()> onChange;

private:
    std::string caption_;
};

class TextBox : public Control {
public:
    explicit TextBox(std::string name = {});
    const std::string& text() const { return text_; }
    void setText(std::string text, Origin origin = Origin::Program);
    // Maximum number of characters the operator may type (0: no limit). Program code may assign
    // longer texts, as the window system allows.
    int maxLength = 0;
    int selStart = 0;
    int selLength = 0;
    void setSelection(int start, int length);
    bool hasFocus() const { return focus_; }
    // Focus changes come from the view (or from tests acting as the operator).
    void gotFocus();
    void lostFocus();

    std::function<void(Origin)> onChange;
    std::function<void()> onGotFocus;
    std::function<void()> onLostFocus;
    // A key released in the box (the operator typed).
    std::function<void()> onKeyUp;

private:
    std::string text_;
    bool focus_ = false;
};

// A drop-down list or a plain list. The list index is -1 when nothing is selected; its change
// event ("Click" in the station's naming) runs when the index changes.
class ListControl : public Control {
public:
    using Control::Control;
    const std::vector<std::string>& items() const { return items_; }
    int listCount() const { return static_cast<int>(items_.size()); }
    int listIndex() const { return index_; }
    // The selected entry's text, or the empty text.
    std::string text() const;
    void addItem(std::string item);
    // Appends many items with one view update.
    void addItems(std::vector<std::string> items);
    // Removes every entry; the selection becomes -1 without running the change event.
    void clear();
    // An index outside the list selects nothing (-1).
    void setListIndex(int index, Origin origin = Origin::Program);
    std::function<void(Origin)> onClick;

private:
    std::vector<std::string> items_;
    int index_ = -1;
};

// A check box; value 0 (clear) or 1 (ticked). Its change event runs when the value changes.
class CheckBox : public CaptionedControl {
public:
    using CaptionedControl::CaptionedControl;
    int value() const { return value_; }
    bool checked() const { return value_ == 1; }
    void setValue(int v, Origin origin = Origin::Program);
    void setChecked(bool on, Origin origin = Origin::Program) { setValue(on ? 1 : 0, origin); }
    std::function<void(Origin)> onClick;

private:
    int value_ = 0;
};

// A scroll bar. Values are clamped to [min, max]; the change event runs when the value changes.
class ScrollBar : public Control {
public:
    using Control::Control;
    int min() const { return min_; }
    int max() const { return max_; }
    int value() const { return value_; }
    void setRange(int min, int max);
    void setMin(int min) { setRange(min, max_ < min ? min : max_); }
    void setMax(int max) { setRange(min_ > max ? max : min_, max); }
    void setValue(int v, Origin origin = Origin::Program);
    int smallChange = 1;
    int largeChange = 10;
    std::function<void(Origin)> onChange;
    // The thumb is being dragged (the value follows it); runs before the final change.
    std::function<void()> onScroll;

private:
    int min_ = 0;
    int max_ = 32767;
    int value_ = 0;
};

class Button : public CaptionedControl {
public:
    using CaptionedControl::CaptionedControl;
    // The operator pressed the button.
    void click();
    std::function<void()> onClick;
};

// A picture whose width shows a value (the level bar). Width in twips, 15 twips a pixel.
class ImageBar : public Control {
public:
    using Control::Control;
    int width() const { return width_; }
    void setWidth(int twips);

private:
    int width_ = 0;
};

class TreeView : public Control {
public:
    struct Node {
        std::string key;
        std::string text;
        int image = 0;
        int selectedImage = 0;
    };
    using Control::Control;
    const std::vector<Node>& nodes() const { return nodes_; }
    int nodeCount() const { return static_cast<int>(nodes_.size()); }
    void clear();
    void add(Node node);
    // Replaces all nodes at once (one view update for a whole rebuild).
    void assign(std::vector<Node> nodes);
    int selectedIndex() const { return selected_; }
    // Changes whenever the nodes do (not the selection): a view compares it instead of the nodes.
    std::uint64_t revision() const { return revision_; }
    // The operator clicked node `index`; selects it and runs onNodeClick.
    void clickNode(int index);
    std::function<void(const Node&)> onNodeClick;
    // Any mouse button released over the tree (button 2 is the right button).
    std::function<void(int button)> onMouseUp;

private:
    std::vector<Node> nodes_;
    int selected_ = -1;
    std::uint64_t revision_ = 0;
};

class Toolbar : public Control {
public:
    enum class Kind { Button, Separator };
    struct Item {
        Kind kind = Kind::Button;
        int image = 0;
        std::string toolTip;
        bool enabled = true;
    };
    using Control::Control;
    void setItems(std::vector<Item> items);
    const std::vector<Item>& items() const { return items_; }
    // Buttons are numbered from 1, as the station's handlers expect.
    const Item& button(int index) const { return items_.at(static_cast<std::size_t>(index - 1)); }
    bool buttonEnabled(int index) const { return button(index).enabled; }
    void setButtonEnabled(int index, bool on);
    // The operator clicked button `index` (ignored while it is disabled or a separator).
    void click(int index);
    std::function<void(int index)> onButtonClick;

private:
    std::vector<Item> items_;
};

// A window of its own (modal over the main window while shown). The view opens and closes it
// as `shown` changes; when the operator closes it by hand the view calls closeByOperator().
class Form : public CaptionedControl {
public:
    using CaptionedControl::CaptionedControl;
    bool shown() const { return shown_; }
    void show();
    void hide();
    // The operator closed the window (title bar or Escape); runs onOperatorClose.
    void closeByOperator();
    std::function<void()> onOperatorClose;

private:
    bool shown_ = false;
};

// A timer control: while enabled it ticks every `interval` ms. Ticks go through the event gate,
// so they never interrupt another event; a tick that finds its predecessor still waiting in the
// gate's queue is merged with it, as window-system timers do.
class Timer {
public:
    Timer(Scheduler& scheduler, EventGate& gate, int intervalMs = 0);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    int interval() const { return interval_; }
    // A new interval restarts the count while the timer is enabled.
    void setInterval(int ms);
    bool enabled() const { return enabled_; }
    // Enabling a disabled timer starts counting from now; enabling an enabled one changes nothing.
    void setEnabled(bool on);
    std::function<void()> onTimer;

private:
    struct Shared;
    void arm();
    void disarm();
    Scheduler& scheduler_;
    EventGate& gate_;
    int interval_;
    bool enabled_ = false;
    Scheduler::TaskId task_ = 0;
    std::shared_ptr<Shared> shared_;
};

}  // namespace nms::ports
