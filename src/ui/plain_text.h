#pragma once

#include <QString>
#include <QTextDocument>

namespace nms::ui {

// Qt draws a tool tip as markup when its text merely looks like markup (an element named
// `<B>X</B`): a tip that holds a name, a reason or a file name goes in escaped, its line breaks
// kept.
inline QString plainToolTip(const QString& text) {
    return text.isEmpty() ? text : Qt::convertFromPlainText(text);
}

}  // namespace nms::ui
