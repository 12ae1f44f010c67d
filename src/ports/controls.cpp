#include "ports/controls.h"

#include <algorithm>

namespace nms::ports {

void Control::setEnabled(bool on) {
    change(enabled_, on);
}

void Control::setVisible(bool on) {
    change(visible_, on);
}

void Control::setToolTip(std::string tip) {
    change(toolTip_, std::move(tip));
}

void Control::setBackColor(Color c) {
    change(backColor_, c);
}

void Label::setCaption(std::string text) {
    if (change(caption_, std::move(text)) && onChange) onChange();
}

TextBox::TextBox(std::string name) : Control(std::move(name)) { setBackColor(kSystemWindowBackground); }

void TextBox::setText(std::string text, Origin origin) {
    if (text_ == text) return;
    text_ = std::move(text);
    selStart = std::min(selStart, static_cast<int>(text_.size()));
    selLength = 0;
    notifyView();
    if (onChange) onChange(origin);
}

void TextBox::setSelection(int start, int length) {
    selStart = start;
    selLength = length;
    notifyView();
}

void TextBox::gotFocus() {
    focus_ = true;
    if (onGotFocus) onGotFocus();
}

void TextBox::lostFocus() {
    focus_ = false;
    if (onLostFocus) onLostFocus();
}

std::string ListControl::text() const {
    if (index_ < 0 || index_ >= listCount()) return {};
    return items_[static_cast<std::size_t>(index_)];
}

void ListControl::addItem(std::string item) {
    items_.push_back(std::move(item));
    notifyView();
}

void ListControl::addItems(std::vector<std::string> items) {
    if (items_.empty()) items_ = std::move(items);
    else items_.insert(items_.end(), std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
    notifyView();
}

void ListControl::clear() {
    items_.clear();
    index_ = -1;
    notifyView();
}

void ListControl::setListIndex(int index, Origin origin) {
    if (index < 0 || index >= listCount()) index = -1;
    if (change(index_, index) && onClick) onClick(origin);
}

void CheckBox::setValue(int v, Origin origin) {
    if (change(value_, v == 0 ? 0 : 1) && onClick) onClick(origin);
}

void ScrollBar::setRange(int min, int max) {
    min_ = min;
    max_ = std::max(min, max);
    notifyView();
    // A value outside the new range follows it, as a change.
    if (value_ < min_ || value_ > max_) setValue(value_);
}

void ScrollBar::setValue(int v, Origin origin) {
    if (change(value_, std::clamp(v, min_, max_)) && onChange) onChange(origin);
}

void Button::click() {
    if (enabled() && onClick) onClick();
}

void ImageBar::setWidth(int twips) {
    change(width_, std::max(0, twips));
}

void TreeView::clear() {
    nodes_.clear();
    selected_ = -1;
    ++revision_;
    notifyView();
}

void TreeView::add(Node node) {
    nodes_.push_back(std::move(node));
    ++revision_;
    notifyView();
}

void TreeView::assign(std::vector<Node> nodes) {
    nodes_ = std::move(nodes);
    selected_ = -1;
    ++revision_;
    notifyView();
}

void TreeView::clickNode(int index) {
    if (index < 0 || index >= nodeCount()) return;
    selected_ = index;
    notifyView();
    // A copy: the handler may rebuild the tree.
    const Node node = nodes_[static_cast<std::size_t>(index)];
    if (onNodeClick) onNodeClick(node);
}

void Toolbar::setItems(std::vector<Item> items) {
    items_ = std::move(items);
    notifyView();
}

void Toolbar::setButtonEnabled(int index, bool on) {
    change(items_.at(static_cast<std::size_t>(index - 1)).enabled, on);
}

void Toolbar::click(int index) {
    if (index < 1 || index > static_cast<int>(items_.size())) return;
    const auto& item = items_[static_cast<std::size_t>(index - 1)];
    if (item.kind != Kind::Button || !item.enabled || !enabled()) return;
    if (onButtonClick) onButtonClick(index);
}

void Form::show() {
    if (shown_) return;
    shown_ = true;
    notifyView();
}

void Form::hide() {
    if (!shown_) return;
    shown_ = false;
    notifyView();
}

void Form::closeByOperator() {
    if (!shown_) return;
    if (onOperatorClose) onOperatorClose();
}

// The state a pending tick needs; it outlives the timer if the timer goes first.
struct Timer::Shared {
    Timer* owner = nullptr;
    std::uint64_t generation = 0;
    bool tickQueued = false;
};

Timer::Timer(Scheduler& scheduler, EventGate& gate, int intervalMs)
    : scheduler_(scheduler), gate_(gate), interval_(intervalMs), shared_(std::make_shared<Shared>()) {
    shared_->owner = this;
}

Timer::~Timer() {
    disarm();
    shared_->owner = nullptr;
}

void Timer::setInterval(int ms) {
    interval_ = ms;
    if (enabled_) {
        disarm();
        arm();
    }
}

void Timer::setEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    if (on) arm();
    else disarm();
}

void Timer::disarm() {
    if (task_ != 0) scheduler_.cancel(task_);
    task_ = 0;
    ++shared_->generation;
    shared_->tickQueued = false;
}

void Timer::arm() {
    // An interval of 0 disables the timer, as in the window system.
    if (interval_ <= 0) return;
    const std::uint64_t generation = shared_->generation;
    std::weak_ptr<Shared> weak = shared_;
    task_ = scheduler_.callAfter(interval_, [weak, generation] {
        auto shared = weak.lock();
        if (!shared || !shared->owner || shared->generation != generation) return;
        Timer* self = shared->owner;
        self->task_ = 0;
        self->arm();  // the next tick is counted from this one, not from its delivery
        if (shared->tickQueued) return;
        shared->tickQueued = true;
        const std::uint64_t gen = shared->generation;
        self->gate_.dispatch(EventGate::Kind::Timer, [weak, gen] {
            auto s = weak.lock();
            if (!s || !s->owner || s->generation != gen) return;
            s->tickQueued = false;
            if (s->owner->enabled_ && s->owner->onTimer) s->owner->onTimer();
        });
    });
}

}  // namespace nms::ports
