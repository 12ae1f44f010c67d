#include "ui/help_window.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QVBoxLayout>

// The README is compiled into the front end's library, which nothing references by name.
static void registerHelpResources() {
    Q_INIT_RESOURCE(help);
}

namespace nms::ui {

QString HelpWindow::operatingHeading() {
    return QStringLiteral("## Operating the station");
}

QString HelpWindow::section(const QString& markdown, const QString& heading) {
    const QStringList lines = markdown.split(QLatin1Char('\n'));
    QStringList out;
    bool inside = false;
    for (const QString& line : lines) {
        if (line.trimmed() == heading) {
            inside = true;
        } else if (inside && line.startsWith(QLatin1String("## "))) {
            break;
        }
        // The README's pictures show the window that stands beside the help.
        if (inside && !line.startsWith(QLatin1String("!["))) out << line;
    }
    return out.join(QLatin1Char('\n')).trimmed();
}

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
    static const bool registered = (registerHelpResources(), true);
    (void)registered;
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(tr("Vantrelo NG NMS help"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(false);

    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("helpText"));
    browser_->setOpenExternalLinks(true);
    QFile readme(QStringLiteral(":/help/README.md"));
    QString text;
    if (readme.open(QIODevice::ReadOnly | QIODevice::Text)) {
        text = section(QString::fromUtf8(readme.readAll()), operatingHeading());
    }
    if (text.isEmpty()) text = tr("The operating instructions are missing from this build.");
    browser_->setMarkdown(text);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_);
    layout->addWidget(buttons);
    resize(760, 640);
}

}  // namespace nms::ui
