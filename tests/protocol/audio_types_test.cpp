#include "protocol/audio_types.h"

#include <gtest/gtest.h>

using nms::protocol::AudioTypeTable;

TEST(AudioTypes, ListsThirteenNamesInRowOrder) {
    const auto t = AudioTypeTable::standard();
    const auto names = t.listNames();
    ASSERT_EQ(names.size(), 13u);
    EXPECT_EQ(names.front(), "L/R Legacy");
    EXPECT_EQ(names[6], "MPX Legacy");
    EXPECT_EQ(names.back(), "MPX AES67-SyES");
    for (int i = 13; i < 17; ++i) EXPECT_TRUE(t.row(i).name.empty());
}

TEST(AudioTypes, TypeByteSelectsRowByItsCodeBits) {
    const auto t = AudioTypeTable::standard();
    EXPECT_EQ(t.rowForTypeByte(0xD1), 2);  // FLAC and narrowband with code 17
    EXPECT_EQ(t.rowForTypeByte(0x3F), 0);  // code 63: no row
    EXPECT_EQ(t.rowForTypeByte(144), 1);   // FLAC with code 16
    EXPECT_EQ(t.rowForTypeByte(37), 12);
    EXPECT_EQ(t.rowForTypeByte(1), 6);
}

TEST(AudioTypes, RowsCarryWidthsAndDescriptions) {
    const auto t = AudioTypeTable::standard();
    EXPECT_EQ(t.row(11).width, 16);
    EXPECT_EQ(t.row(12).width, 24);
    EXPECT_EQ(t.row(4).width, 8);
    EXPECT_EQ(t.row(7).code, 32);
    EXPECT_EQ(t.row(5).description, "L/R over AES67 (2.4Mbps)");
    EXPECT_TRUE(AudioTypeTable::isAes67Row(5));
    EXPECT_TRUE(AudioTypeTable::isAes67Row(11));
    EXPECT_TRUE(AudioTypeTable::isAes67Row(12));
    EXPECT_FALSE(AudioTypeTable::isAes67Row(4));
}
