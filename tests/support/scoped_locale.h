#pragma once

// The C library under another locale for a scope, as the window's toolkit puts it under the
// user's locale at start-up, and back afterwards. The comma locales are created by
// scripts/install-deps.sh; a test that needs one fails when it is missing, rather than passing
// without having proved anything.

#include <clocale>
#include <string>

namespace nms::testing {

// Locales whose decimal separator is a comma.
inline constexpr const char* kCommaLocales[] = {"de_DE.UTF-8", "fr_FR.UTF-8"};

class ScopedLocale {
public:
    explicit ScopedLocale(const char* name)
        : previous_(std::setlocale(LC_ALL, nullptr)),
          active_(std::setlocale(LC_ALL, name) != nullptr) {}
    ~ScopedLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

    // False when the locale does not exist on this machine.
    bool active() const { return active_; }

private:
    std::string previous_;
    bool active_;
};

}  // namespace nms::testing
