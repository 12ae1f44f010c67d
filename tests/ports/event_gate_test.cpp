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
