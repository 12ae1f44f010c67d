#pragma once

#include <QString>

#include "ports/settings.h"

namespace nms::platform {

// The per-user settings as INI files: one file per application, one group per section, in the
// user's configuration folder (~/.config/vantrelo-nms/Kestrova.ini for application "Kestrova").
class QtSettings : public ports::SettingsStore {
public:
    // `folder` empty: the user's configuration folder.
    explicit QtSettings(QString folder = {});

    std::optional<std::string> get(const std::string& application, const std::string& section,
                                   const std::string& key) const override;
    void set(const std::string& application, const std::string& section, const std::string& key,
             const std::string& value) override;

    QString fileOf(const std::string& application) const;
    const QString& folder() const { return folder_; }
    static QString defaultFolder();

private:
    QString folder_;
};

}  // namespace nms::platform
