#include "platform/qt_settings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include "platform/qt_text.h"

namespace nms::platform {
namespace {

// A name used as a file name or a group must not reach outside its place: path separators in
// an application name, or group separators in a section, are replaced.
QString safeName(const std::string& name, QChar replacement = QLatin1Char('_')) {
    QString out = fromModel(name);
    out.replace(QLatin1Char('/'), replacement);
    out.replace(QLatin1Char('\\'), replacement);
    if (out.isEmpty() || out == QLatin1String(".") || out == QLatin1String("..")) out = QStringLiteral("default");
    return out;
}

QString settingPath(const std::string& section, const std::string& key) {
    return safeName(section) + QLatin1Char('/') + safeName(key);
}

}  // namespace

QtSettings::QtSettings(QString folder) : folder_(folder.isEmpty() ? defaultFolder() : std::move(folder)) {}

QString QtSettings::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/vantrelo-nms");
}

QString QtSettings::fileOf(const std::string& application) const {
    return folder_ + QLatin1Char('/') + safeName(application) + QStringLiteral(".ini");
}

std::optional<std::string> QtSettings::get(const std::string& application, const std::string& section,
                                          const std::string& key) const {
    QSettings file(fileOf(application), QSettings::IniFormat);
    const QVariant value = file.value(settingPath(section, key));
    if (!value.isValid()) return std::nullopt;
    // A hand-edited value such as "3, 4" reads back as a list; the station stores text.
    if (value.typeId() == QMetaType::QStringList) return toModel(value.toStringList().join(QStringLiteral(", ")));
    return toModel(value.toString());
}

void QtSettings::set(const std::string& application, const std::string& section, const std::string& key,
                     const std::string& value) {
    QDir().mkpath(folder_);
    QSettings file(fileOf(application), QSettings::IniFormat);
    file.setValue(settingPath(section, key), fromModel(value));
    // Written at once: a setting is saved the moment it changes, never at shutdown.
    file.sync();
}

}  // namespace nms::platform
