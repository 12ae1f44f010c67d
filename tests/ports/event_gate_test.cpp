#include "ports/event_gate.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using nms::ports::EventGate;
using Kind = EventGate::Kind;

TEST(EventGate, EventsArrivingDuringAHandlerRunAfterItInArrivalOrder) {
    EventGate gate;
    std::vector<std::string> log;
    gate.dispatch(Kind::Operator, [&] {
        log.push_back("outer begins");
        // As if a datagram and a tick arrived while a message box was open.
        gate.dispatch(Kind::Datagram, [&] { log.push_back("datagram"); });
        gate.dispatch(Kind::Timer, [&] { log.push_back("tick"); });
        log.push_back("outer ends");
    });
    EXPECT_EQ(log, (std::vector<std::string>{"outer begins", "outer ends", "datagram", "tick"}));
    EXPECT_EQ(gate.queued(), 0u);
}

TEST(EventGate, HeldKindWaitsWhileOtherKindsPass) {
    EventGate gate;
    std::vector<std::string> log;
    gate.hold(Kind::Datagram);
    gate.dispatch(Kind::Datagram, [&] { log.push_back("d1"); });
    gate.dispatch(Kind::Timer, [&] { log.push_back("t1"); });
    gate.dispatch(Kind::Datagram, [&] { log.push_back("d2"); });
    EXPECT_EQ(log, (std::vector<std::string>{"t1"}));
    gate.release(Kind::Datagram);
    EXPECT_EQ(log, (std::vector<std::string>{"t1", "d1", "d2"}));
}

TEST(EventGate, ReleaseInsideAHandlerDeliversAfterThatHandler) {
    EventGate gate;
    std::vector<std::string> log;
    gate.hold(Kind::Datagram);
    gate.dispatch(Kind::Datagram, [&] { log.push_back("held"); });
    gate.dispatch(Kind::Timer, [&] {
        gate.release(Kind::Datagram);
        log.push_back("tick ends");
    });
    EXPECT_EQ(log, (std::vector<std::string>{"tick ends", "held"}));
}

TEST(EventGate, AThrowingHandlerDoesNotWedgeTheGate) {
    EventGate gate;
    std::string reported;
    gate.onEscapedException = [&](const char* what) { reported = what; };
    gate.dispatch(Kind::Operator, [] { throw std::runtime_error("boom"); });
    EXPECT_EQ(reported, "boom");
    EXPECT_FALSE(gate.busy());
    bool ran = false;
    gate.dispatch(Kind::Operator, [&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(EventGate, NothingRunsAfterShutDown) {
    EventGate gate;
    bool ran = false;
    gate.dispatch(Kind::Operator, [&] {
        gate.dispatch(Kind::Datagram, [&] { ran = true; });
        gate.shutDown();
    });
    gate.dispatch(Kind::Timer, [&] { ran = true; });
    EXPECT_FALSE(ran);
}

TEST(EventGate, EachEventHasATurnOfItsOwnAndEverythingItDoesSharesIt) {
    EventGate gate;
    std::vector<std::uint64_t> turns;
    gate.dispatch(Kind::Operator, [&] {
        turns.push_back(gate.turn());
        // Queued behind this one: a turn of its own once this one ends.
        gate.dispatch(Kind::Datagram, [&] { turns.push_back(gate.turn()); });
        turns.push_back(gate.turn());
    });
    gate.dispatch(Kind::Timer, [&] { turns.push_back(gate.turn()); });
    ASSERT_EQ(turns.size(), 4u);
    EXPECT_EQ(turns[0], turns[1]);
    EXPECT_LT(turns[1], turns[2]);
    EXPECT_LT(turns[2], turns[3]);
}

// A box may stay open for hours while datagrams keep coming: only a bounded number of them wait,
// the rest are counted; other kinds of event are not limited by default.
TEST(EventGate, QueuedDatagramsAreBoundedAndTheRestAreCounted) {
    EventGate gate;
    std::vector<int> delivered;
    int ticks = 0;
    gate.dispatch(Kind::Operator, [&] {
        for (int i = 0; i < 1000; ++i) {
            gate.dispatch(Kind::Datagram, [&delivered, i] { delivered.push_back(i); });
            gate.dispatch(Kind::Posted, [&] { ++ticks; });
        }
        EXPECT_EQ(gate.queued(Kind::Datagram), EventGate::kDatagramQueueLimit);
        EXPECT_EQ(gate.queued(Kind::Posted), 1000u);
    });
    EXPECT_EQ(gate.dropped(Kind::Datagram), 1000u - EventGate::kDatagramQueueLimit);
    EXPECT_EQ(gate.dropped(Kind::Posted), 0u);
    ASSERT_EQ(delivered.size(), EventGate::kDatagramQueueLimit);
    EXPECT_EQ(delivered.front(), 0) << "the first ones keep their place";
    EXPECT_EQ(delivered.back(), 63);
    EXPECT_EQ(ticks, 1000);
    EXPECT_EQ(gate.queued(Kind::Datagram), 0u);
}

TEST(EventGate, HeldEventsCountAgainstTheLimitAndFreeItWhenDelivered) {
    EventGate gate;
    gate.limitQueue(Kind::Datagram, 2);
    int delivered = 0;
    gate.hold(Kind::Datagram);
    for (int i = 0; i < 5; ++i) gate.dispatch(Kind::Datagram, [&] { ++delivered; });
    EXPECT_EQ(gate.queued(Kind::Datagram), 2u);
    EXPECT_EQ(gate.dropped(Kind::Datagram), 3u);
    gate.release(Kind::Datagram);
    EXPECT_EQ(delivered, 2);
    gate.hold(Kind::Datagram);
    for (int i = 0; i < 2; ++i) gate.dispatch(Kind::Datagram, [&] { ++delivered; });
    EXPECT_EQ(gate.dropped(Kind::Datagram), 3u) << "room again once the queue was delivered";
    gate.limitQueue(Kind::Datagram, 0);  // no limit
    for (int i = 0; i < 100; ++i) gate.dispatch(Kind::Datagram, [&] { ++delivered; });
    gate.release(Kind::Datagram);
    EXPECT_EQ(delivered, 104);
}
