#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QListWidget;
class QTextBrowser;

namespace nms::ui {

// The operating instructions: the README's section on working with the station, built into the
// program so that they are there wherever it was installed, and always of this version. A
// window of its own beside the station's, not modal: the operator reads and works at once. The
// contents on the left list the section's headings; the text opens at any of them.
class HelpWindow : public QDialog {
public:
    explicit HelpWindow(QWidget* parent = nullptr);
    QTextBrowser* browser() const { return browser_; }
    QListWidget* contents() const { return contents_; }

    // Scrolls the text so that this heading ("### Events panel" or its words alone) stands at
    // the top, marked, and selects it in the contents; false (nothing moves) when there is no
    // such heading. The heading stays at the top when the window is resized.
    bool showSection(const QString& heading);
    // The words of the heading whose section is at the top of the text.
    QString headingAtTop() const;
    // The headings of the text, in order: the operating section's own, then its sub-sections.
    const QStringList& headings() const { return headings_; }

    // The heading that says how to work the window (or panel) holding `focus`: its own section,
    // the operating section's top for the main window and any window without one, and nothing
    // within this window (F1 there leaves it where it is).
    static QString headingFor(const QWidget* focus);

    // The section of a Markdown text that begins with `heading` (a "## " line), up to the next
    // heading of the same level; empty when there is none.
    static QString section(const QString& markdown, const QString& heading);
    // The heading of the operating section in the README.
    static QString operatingHeading();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void scrollToAnchor();
    void followScrolling();
    QTextBrowser* browser_;
    QListWidget* contents_;
    QStringList headings_;
    // The heading last asked for: kept at the top while the operator has not scrolled away.
    QString anchor_;
    bool scrolling_ = false;
};

}  // namespace nms::ui
