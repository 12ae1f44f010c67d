#pragma once

#include <QDialog>
#include <QString>

namespace nms::ui {

// What a support call needs to know about this station: its version, the Qt it runs on, where
// its files are, and the commit it was built from.
struct AboutFacts {
    QString databasePath;
    QString settingsPath;
    QString layoutPath;
};

class AboutDialog : public QDialog {
public:
    AboutDialog(const AboutFacts& facts, QWidget* parent = nullptr);
    // The facts as shown, one "caption: value" line each (for a copy into a support request).
    QString text() const { return text_; }

    static QString version();
    static QString commit();

private:
    QString text_;
};

}  // namespace nms::ui
