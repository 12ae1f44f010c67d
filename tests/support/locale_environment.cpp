// Every test program of the station's core is run a second time under the locale named by
// NMS_TEST_LOCALE (see tests/CMakeLists.txt), as the window's toolkit applies the user's locale to
// the C library at start-up: what the station sends and stores must not change with it.

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

namespace {

class LocaleEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const char* name = std::getenv("NMS_TEST_LOCALE");
        if (name == nullptr || *name == '\0') return;
        ASSERT_NE(std::setlocale(LC_ALL, name), nullptr)
            << "the locale " << name << " is missing (scripts/install-deps.sh creates it)";
        ASSERT_STREQ(std::localeconv()->decimal_point, ",") << name << " has no decimal comma";
    }
};

[[maybe_unused]] const auto* const kRegistered =
    ::testing::AddGlobalTestEnvironment(new LocaleEnvironment);

}  // namespace
