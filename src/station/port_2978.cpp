#include "station/port_2978.h"

#include <utility>

namespace nms::station {

struct Port2978::State {
    int out = 0;
    Background background;
};

Port2978::Port2978() : state_(std::make_shared<State>()) {}

Port2978::~Port2978() = default;

void Port2978::setBackground(Background background) {
    state_->background = std::move(background);
    if (state_->out > 0 && state_->background.handOver) state_->background.handOver();
}

Port2978Lease Port2978::take() {
    Port2978Lease lease;
    lease.state_ = state_;
    lease.held_ = true;
    if (state_->out++ == 0 && state_->background.handOver)
        lease.owed_ = state_->background.handOver();
    return lease;
}

int Port2978::leasesOut() const {
    return state_->out;
}

Port2978Lease::Port2978Lease(Port2978Lease&& other) noexcept
    : state_(std::move(other.state_)),
      held_(std::exchange(other.held_, false)),
      owed_(std::move(other.owed_)) {}

Port2978Lease& Port2978Lease::operator=(Port2978Lease&& other) noexcept {
    if (this == &other) return *this;
    // The lease moved in is counted already when this one is given back: a holder that takes a
    // new lease over its old one never lets the background user in between.
    Port2978Lease old(std::move(*this));
    state_ = std::move(other.state_);
    held_ = std::exchange(other.held_, false);
    owed_ = std::move(other.owed_);
    return *this;
}

void Port2978Lease::giveBack() {
    if (!std::exchange(held_, false)) return;
    owed_.clear();
    const auto state = state_.lock();
    state_.reset();
    if (!state) return;
    if (--state->out == 0 && state->background.takeBack) {
        // A copy: the user may clear itself while it runs.
        const auto takeBack = state->background.takeBack;
        takeBack();
    }
}

}  // namespace nms::station
