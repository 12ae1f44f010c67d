#pragma once

#include <QDialog>
#include <QString>

class QTextBrowser;

namespace nms::ui {

// The operating instructions: the README's section on working with the station, built into the
// program so that they are there wherever it was installed, and always of this version. A
// window of its own beside the station's, not modal: the operator reads and works at once.
class HelpWindow : public QDialog {
public:
    explicit HelpWindow(QWidget* parent = nullptr);
    QTextBrowser* browser() const { return browser_; }

    // The section of a Markdown text that begins with `heading` (a "## " line), up to the next
    // heading of the same level; empty when there is none.
    static QString section(const QString& markdown, const QString& heading);
    // The heading of the operating section in the README.
    static QString operatingHeading();

private:
    QTextBrowser* browser_;
};

}  // namespace nms::ui
