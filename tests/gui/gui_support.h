#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QString>
#include <QTextDocument>
#include <QWidget>

#include <string>
#include <vector>

#include "ports/origin.h"

namespace nms::testing {

// Where the GUI tests leave their pictures: screenshots/ in the build folder of the tests.
inline QString screenshotPath(const QString& name) {
    const QString folder = qEnvironmentVariableIsSet("NMS_SCREENSHOT_DIR")
                               ? qEnvironmentVariable("NMS_SCREENSHOT_DIR")
                               : QCoreApplication::applicationDirPath() + QStringLiteral("/screenshots");
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + name;
}

// A caption as the operator reads it: the access key's mark gone, a doubled ampersand single.
inline QString withoutAccessKey(const QString& text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

// A tool tip as the operator reads it: Qt draws one that looks like markup as markup.
inline QString tipAsShown(const QString& tip) {
    if (!Qt::mightBeRichText(tip)) return tip;
    QTextDocument shown;
    shown.setHtml(tip);
    return shown.toPlainText();
}

// The operator's hands: events as the window system delivers them.
inline void typeText(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

inline void pressKey(QWidget* widget, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

inline void click(QWidget* target, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    const QPointF local(at);
    const QPointF global(target->mapToGlobal(at));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, button, button, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &release);
}

// Every change event a control ran, with its origin.
struct Changes {
    std::vector<ports::Origin> seen;
    auto recorder() {
        return [this](ports::Origin origin) { seen.push_back(origin); };
    }
    std::size_t operatorCount() const {
        std::size_t n = 0;
        for (auto o : seen) n += o == ports::Origin::Operator ? 1 : 0;
        return n;
    }
};

}  // namespace nms::testing
