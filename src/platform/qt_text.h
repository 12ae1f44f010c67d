#pragma once

#include <QString>

#include <string>

namespace nms::platform {

// The models' texts are UTF-8; a message separates its lines with a carriage return.
inline QString fromModel(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string toModel(const QString& text) { return text.toStdString(); }

// Each "\r" (or "\r\n") of a model text starts a new line on the screen.
inline QString linesFromModel(const std::string& text) {
    QString out = fromModel(text);
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

}  // namespace nms::platform
