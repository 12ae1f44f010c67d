#pragma once

#include <optional>
#include <string>

namespace nms::ports {

// The per-user settings store: text values addressed by application, section and key.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<std::string> get(const std::string& application, const std::string& section,
                                           const std::string& key) const = 0;
    virtual void set(const std::string& application, const std::string& section, const std::string& key,
                     const std::string& value) = 0;

    // The value, or `fallback` when the setting does not exist.
    std::string getOr(const std::string& application, const std::string& section, const std::string& key,
                      const std::string& fallback) const {
        auto v = get(application, section, key);
        return v ? *v : fallback;
    }
};

}  // namespace nms::ports
