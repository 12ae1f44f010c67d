#pragma once

#include <QByteArray>
#include <QMargins>
#include <QRect>
#include <QString>

class QWidget;

namespace nms::ui {

// Where the operator left the main window and each dialog, kept per user in a file of the front
// end's own (group "Window"), apart from the station's settings. A window is shown again where
// it stood only on a screen that can show it: moved and shrunk into that screen's available
// area, never larger than it, whatever the scale factor.
class WindowLayout {
public:
    explicit WindowLayout(QString file);
    const QString& file() const { return file_; }

    // The window's place (its normal place when maximised) and whether it was maximised.
    void save(const QString& name, const QWidget* window) const;
    // Places a window where it stood. Nothing kept: the window keeps its size, shrunk to fit the
    // screen it opens on, and is centred there when it has no parent. True when a place was kept.
    bool restore(const QString& name, QWidget* window) const;

    // Other state of a window (a splitter's sizes).
    void saveState(const QString& name, const QByteArray& state) const;
    QByteArray state(const QString& name) const;

private:
    QString file_;
};

// What the window system adds around a window's contents, allowed for when fitting one in.
inline constexpr QMargins kFrameAllowance{8, 32, 8, 8};

// The rectangle shrunk to the available area (less the frame) and moved into it.
QRect fitInside(QRect wanted, const QRect& available, const QMargins& frame = kFrameAllowance);

}  // namespace nms::ui
