#pragma once

#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "ports/instance_lock.h"
#include "ports/lifecycle.h"
#include "ports/settings.h"

namespace nms::testing {

class MemorySettings : public ports::SettingsStore {
public:
    std::optional<std::string> get(const std::string& application, const std::string& section,
                                   const std::string& key) const override {
        auto it = values.find({application, section, key});
        if (it == values.end()) return std::nullopt;
        return it->second;
    }
    void set(const std::string& application, const std::string& section, const std::string& key,
             const std::string& value) override {
        values[{application, section, key}] = value;
        ++writes;
    }
    std::map<std::tuple<std::string, std::string, std::string>, std::string> values;
    int writes = 0;
};

// An instance lock shared by "processes" in one test: the second tryAcquire fails.
class FakeInstanceLock : public ports::InstanceLock {
public:
    explicit FakeInstanceLock(bool heldElsewhere = false) : heldElsewhere_(heldElsewhere) {}
    bool tryAcquire() override {
        if (heldElsewhere_ || !cannotCreate_.empty()) return false;
        held = true;
        return true;
    }
    void release() override { held = false; }
    std::string creationFailure() const override { return cannotCreate_; }
    void setHeldElsewhere(bool on) { heldElsewhere_ = on; }
    // The lock file cannot be created (its folder read-only or full): the sentence that says so.
    void setCannotCreate(std::string why) { cannotCreate_ = std::move(why); }
    bool held = false;

private:
    bool heldElsewhere_;
    std::string cannotCreate_;
};

class FakeLifecycle : public ports::Lifecycle {
public:
    void exitProgram(int status) override { exits.push_back(status); }
    bool ended() const { return !exits.empty(); }
    std::vector<int> exits;
};

}  // namespace nms::testing
