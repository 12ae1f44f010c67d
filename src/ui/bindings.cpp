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

}  // namespace nms::ui
