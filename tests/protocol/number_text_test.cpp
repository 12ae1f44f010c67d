// Numbers in the station's texts (versions, record values, figures in files, JSON and metrics)
// are read and written with a point whatever locale the window's toolkit gave the C library.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "protocol/text.h"
#include "support/scoped_locale.h"

namespace nms::protocol::text {
namespace {

using testing::kCommaLocales;
using testing::ScopedLocale;

TEST(NumberText, ReadAndWrittenWithAPointUnderACommaLocale) {
    for (const char* name : kCommaLocales) {
        const ScopedLocale comma(name);
        ASSERT_TRUE(comma.active()) << name << " is missing (scripts/install-deps.sh creates it)";
        EXPECT_EQ(leadingNumber("3.7"), 3.7) << name;
        EXPECT_EQ(leadingNumber(" 3.75 beta"), 3.75) << name;
        EXPECT_EQ(leadingNumber("+2.5"), 2.5) << name;
        EXPECT_EQ(leadingNumber("-.5"), -0.5) << name;
        EXPECT_EQ(leadingNumber("3,7"), 3.0) << name;  // a comma ends the number in a file too
        EXPECT_EQ(leadingNumber("x1"), 0.0) << name;
        EXPECT_EQ(leadingNumber(std::string(400, '9')), HUGE_VAL) << name;
        EXPECT_EQ(fixedNumber(0.5, 2), "0.50") << name;
        EXPECT_EQ(fixedNumber(-29e-9, 9), "-0.000000029") << name;
        EXPECT_EQ(fixedNumber(1796783063976 / 1000.0, 3), "1796783063.976") << name;
        EXPECT_EQ(shortestNumber(-12.5), "-12.5") << name;
    }
}

}  // namespace
}  // namespace nms::protocol::text
