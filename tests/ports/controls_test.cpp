#include "ports/controls.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/virtual_time.h"

using namespace nms::ports;

TEST(Controls, ChangeEventsRunOnlyWhenTheValueChangesAndCarryTheOrigin) {
    ListControl list;
    list.addItems({"Unicast", "Multicast"});
    std::vector<Origin> clicks;
    list.onClick = [&](Origin o) { clicks.push_back(o); };
    list.setListIndex(1);
    list.setListIndex(1);
    list.setListIndex(0, Origin::Operator);
    EXPECT_EQ(clicks, (std::vector<Origin>{Origin::Program, Origin::Operator}));
    // Outside the list: nothing selected.
    list.setListIndex(7);
    EXPECT_EQ(list.listIndex(), -1);
    EXPECT_EQ(list.text(), "");
    EXPECT_EQ(clicks.size(), 3u);

    Label label;
    int labelChanges = 0;
    label.onChange = [&] { ++labelChanges; };
    label.setCaption("ENCODER");
    label.setCaption("ENCODER");
    EXPECT_EQ(labelChanges, 1);
}

TEST(Controls, ScrollBarClampsToItsRange) {
    ScrollBar bar;
    bar.setRange(14, 255);
    int changes = 0;
    bar.onChange = [&](Origin) { ++changes; };
    bar.setValue(300);
    EXPECT_EQ(bar.value(), 255);
    bar.setValue(5);
    EXPECT_EQ(bar.value(), 14);
    EXPECT_EQ(changes, 2);
    // Shrinking the range pulls the value along, as a change.
    bar.setValue(200);
    bar.setMax(100);
    EXPECT_EQ(bar.value(), 100);
    EXPECT_EQ(changes, 4);
}

TEST(Controls, ToolbarIgnoresDisabledButtonsAndSeparators) {
    Toolbar bar;
    bar.setItems({{Toolbar::Kind::Button, 1, "a", true}, {Toolbar::Kind::Separator, 0, "", true},
                  {Toolbar::Kind::Button, 2, "b", false}});
    std::vector<int> clicked;
    bar.onButtonClick = [&](int i) { clicked.push_back(i); };
    bar.click(1);
    bar.click(2);
    bar.click(3);
    bar.click(9);
    EXPECT_EQ(clicked, (std::vector<int>{1}));
}

// A timer on virtual time that counts its ticks.
class TimerTicks : public ::testing::Test {
protected:
    std::unique_ptr<Timer> counting(int intervalMs) {
        auto timer = std::make_unique<Timer>(time, gate, intervalMs);
        timer->onTimer = [this] { ++ticks; };
        return timer;
    }

    nms::testing::VirtualTime time;
    EventGate gate;
    int ticks = 0;
};

TEST_F(TimerTicks, TicksAtItsIntervalWhileEnabled) {
    auto timer = counting(1000);
    time.advance(5000);
    EXPECT_EQ(ticks, 0);
    timer->setEnabled(true);
    time.advance(999);
    EXPECT_EQ(ticks, 0);
    time.advance(1);
    EXPECT_EQ(ticks, 1);
    time.advance(3000);
    EXPECT_EQ(ticks, 4);
    timer->setEnabled(false);
    time.advance(5000);
    EXPECT_EQ(ticks, 4);
}

TEST_F(TimerTicks, DisableAndEnableRestartsTheCount) {
    auto timer = counting(6000);
    timer->setEnabled(true);
    time.advance(5000);
    timer->setEnabled(false);
    timer->setEnabled(true);
    time.advance(5999);
    EXPECT_EQ(ticks, 0);
    time.advance(1);
    EXPECT_EQ(ticks, 1);
}

TEST_F(TimerTicks, TicksDuringABusyHandlerAreMergedAndATickOfAStoppedTimerIsDropped) {
    auto fast = counting(50);
    fast->setEnabled(true);
    // A handler that keeps the station busy for a second (a message box).
    gate.dispatch(EventGate::Kind::Operator, [&] { time.advance(1000); });
    EXPECT_EQ(ticks, 1);  // twenty ticks fell due; one is delivered
    gate.dispatch(EventGate::Kind::Operator, [&] {
        time.advance(60);
        fast->setEnabled(false);
    });
    EXPECT_EQ(ticks, 1);
}

TEST_F(TimerTicks, DestroyedTimerNeverTicks) {
    counting(10)->setEnabled(true);
    time.advance(100);
    EXPECT_EQ(ticks, 0);
}
