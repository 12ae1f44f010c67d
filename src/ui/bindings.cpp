#include "ui/bindings.h"

#include <QApplication>

namespace nms::ui {

QColor colorOf(ports::Color color, const QPalette& palette) {
    if (ports::isSystemColor(color)) {
        switch (color & 0xFFu) {
            case 0x05:
                return palette.color(QPalette::Base);  // window (text box) background
            case 0x08:
                return palette.color(QPalette::Text);  // window text
            case 0x0D:
                return palette.color(QPalette::Highlight);
            case 0x0E:
                return palette.color(QPalette::HighlightedText);
            case 0x12:
                return palette.color(QPalette::ButtonText);
            case 0x0F:  // button face
            default:
                return palette.color(QPalette::Button);
        }
    }
    return QColor(ports::redOf(color), ports::greenOf(color), ports::blueOf(color));
}

QString withAccessKey(const QString& caption, QChar key) {
    qsizetype at = -1;
    if (!key.isNull()) {
        for (qsizetype i = 0; i < caption.size(); ++i) {
            if (caption[i].toLower() != key.toLower()) continue;
            const bool wordStart = i == 0 || !caption[i - 1].isLetterOrNumber();
            if (at < 0 || wordStart) at = i;
            if (wordStart) break;
        }
    }
    QString out;
    out.reserve(caption.size() + 2);
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (i == at) out += QLatin1Char('&');
        out += caption[i];
        if (caption[i] == QLatin1Char('&')) out += QLatin1Char('&');
    }
    return out;
}

}  // namespace nms::ui
