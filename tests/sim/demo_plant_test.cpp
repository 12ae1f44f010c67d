#include "sim/demo_plant.h"

#include <gtest/gtest.h>

#include <map>

#include "protocol/feedback.h"
#include "protocol/level.h"
#include "protocol/paging.h"
#include "protocol/statistics.h"
#include "sim_test_util.h"
#include "support/virtual_time.h"

namespace nms::sim {
namespace {

using testing::ascii;

struct Demo : ::testing::Test {
    nms::testing::VirtualTime time;
    DemoPlant plant{time, time};
};

TEST_F(Demo, PagingFindsTwoEncodersAndThreeDecodersInTheStationsNetwork) {
    auto s = plant.network().createUdpSocket();
    ASSERT_TRUE(s->bind(DemoPlant::stationAddress(), 2976));
    std::map<std::string, protocol::FeedbackRecord> found;
    s->onDatagram = [&](ports::Datagram d) {
        auto r = protocol::decodeFeedback(d.bytes, {});
        found[r.ip] = r;
    };
    ASSERT_TRUE(s->sendTo("255.255.255.255", 1901, ascii(protocol::kPagingRequest)));
    time.advance(20);
    ASSERT_EQ(found.size(), 5u);
    int encoders = 0, decoders = 0, sfnDecoders = 0, multicast = 0;
    for (const auto& [ip, r] : found) {
        EXPECT_EQ(ip.rfind("192.168.50.", 0), 0u) << ip;
        EXPECT_EQ(r.mask, "255.255.255.0");
        EXPECT_GE(r.version, 3.7f);
        EXPECT_GT(r.sn, 0);
        EXPECT_LE(r.tx, 1);
        EXPECT_FALSE(r.name.empty());
        EXPECT_NE(r.name[0], ' ');
        EXPECT_TRUE(plant.lan().neighbours().lookup(ip));
        if (r.role == 1) ++encoders;
        if (r.role == 2) ++decoders;
        if (r.role == 2 && r.sfn == 1) ++sfnDecoders;
        if (r.role == 1 && r.tx == 1) ++multicast;
    }
    EXPECT_EQ(encoders, 2);
    EXPECT_EQ(decoders, 3);
    EXPECT_EQ(sfnDecoders, 2);
    EXPECT_EQ(multicast, 1);
    // The unicast encoder streams to a decoder of the plant.
    EXPECT_EQ(found.at("192.168.50.21").remote, "192.168.50.31");
    EXPECT_EQ(found.at("192.168.50.22").remote.rfind("239.", 0), 0u);
}

TEST_F(Demo, LevelsAndCountersAreLive) {
    auto main = plant.network().createUdpSocket();
    auto stats = plant.network().createUdpSocket();
    ASSERT_TRUE(main->bind("0.0.0.0", 2976));
    ASSERT_TRUE(stats->bind("0.0.0.0", 2978));
    std::vector<std::int32_t> peaks;
    std::vector<std::int32_t> frames;
    main->onDatagram = [&](ports::Datagram d) { peaks.push_back(protocol::levelPeak(d.bytes)); };
    stats->onDatagram = [&](ports::Datagram d) { frames.push_back(protocol::GetLongFromReply(d.bytes, 32)); };
    for (int i = 0; i < 3; ++i) {
        main->sendTo("192.168.50.22", 2977, ascii("VOL"));
        stats->sendTo("192.168.50.32", 2978, ascii("GetStats"));
        time.advance(1000);
    }
    ASSERT_EQ(peaks.size(), 3u);
    ASSERT_EQ(frames.size(), 3u);
    for (auto p : peaks) EXPECT_GT(p, 0);
    EXPECT_LT(frames[0], frames[1]);
    EXPECT_LT(frames[1], frames[2]);
}

TEST(DemoMembers, NamesFitTheNameField) {
    for (const auto& m : DemoPlant::members()) EXPECT_LE(m.identity.name.size(), 16u) << m.identity.name;
}

}  // namespace
}  // namespace nms::sim
