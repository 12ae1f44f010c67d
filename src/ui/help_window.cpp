#include "ui/help_window.h"

#include <QAbstractTextDocumentLayout>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFile>
#include <QListWidget>
#include <QMetaObject>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextFrame>
#include <QVBoxLayout>

#include <algorithm>

// The README is compiled into the front end's library, which nothing references by name.
static void registerHelpResources() {
    Q_INIT_RESOURCE(help);
}

namespace nms::ui {
namespace {

// A heading's words, whether given as its Markdown line ("### Keyboard") or as shown.
QString headingWords(const QString& heading) {
    QString words = heading.trimmed();
    while (words.startsWith(QLatin1Char('#'))) words.remove(0, 1);
    return words.trimmed();
}

QTextBlock headingBlock(const QTextDocument& document, const QString& words) {
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next()) {
        if (b.blockFormat().headingLevel() > 0 && b.text().trimmed() == words) return b;
    }
    return {};
}

// The windows and panels with a section of their own, by object name (or, for a dialog of Qt's
// own such as the web status's address, by title), the nearest around the focus first.
struct Place {
    const char* name;
    const char* heading;
};
constexpr Place kPlaces[] = {
    {"monitorEvents", "The Events panel"},
    {"frmStatistics", "The statistics window"},
    {"frmAdjust", "The SFN plot"},
    {"frmSfnOverview", "The SFN overview"},
    {"frmSites", "Sites behind routers"},
    {"settingsDialog", "The plant monitor"},
};
constexpr Place kTitledDialogs[] = {
    {"Web status", "The web status"},
};

}  // namespace

QString HelpWindow::headingFor(const QWidget* focus) {
    for (const QWidget* w = focus; w; w = w->parentWidget()) {
        if (w->objectName() == QLatin1String("helpWindow")) return {};
        for (const Place& p : kPlaces) {
            if (w->objectName() == QLatin1String(p.name)) return QLatin1String(p.heading);
        }
        for (const Place& p : kTitledDialogs) {
            if (w->isWindow() && w->windowTitle() == QLatin1String(p.name))
                return QLatin1String(p.heading);
        }
    }
    return headingWords(operatingHeading());
}

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
    // Open beside the station, it must not keep the program running once the station's window
    // has closed.
    setAttribute(Qt::WA_QuitOnClose, false);

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

    contents_ = new QListWidget(this);
    contents_->setObjectName(QStringLiteral("helpContents"));
    for (QTextBlock b = browser_->document()->begin(); b.isValid(); b = b.next()) {
        const int level = b.blockFormat().headingLevel();
        if (level < 2 || level > 3) continue;
        headings_ << b.text().trimmed();
        contents_->addItem((level == 3 ? QStringLiteral("    ") : QString()) + headings_.back());
    }
    contents_->setMinimumWidth(contents_->sizeHintForColumn(0) + 2 * contents_->frameWidth() + 8);
    connect(contents_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < headings_.size()) showSection(headings_[row]);
    });
    connect(browser_->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { followScrolling(); });
    browser_->viewport()->installEventFilter(this);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("helpSplitter"));
    splitter->addWidget(contents_);
    splitter->addWidget(browser_);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);
    splitter->setSizes({contents_->minimumWidth(), 980 - contents_->minimumWidth()});

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
    layout->addWidget(buttons);
    resize(980, 680);
}

bool HelpWindow::showSection(const QString& heading) {
    const QString words = headingWords(heading);
    const QTextBlock block = headingBlock(*browser_->document(), words);
    if (!block.isValid()) return false;
    anchor_ = words;

    // The heading is marked across the text's width, so the eye finds where it landed.
    QTextEdit::ExtraSelection mark;
    mark.cursor = QTextCursor(block);
    QColor band = palette().color(QPalette::Highlight);
    band.setAlpha(70);
    mark.format.setBackground(band);
    mark.format.setProperty(QTextFormat::FullWidthSelection, true);
    browser_->setExtraSelections({mark});

    {
        const QSignalBlocker quiet(contents_);
        contents_->setCurrentRow(static_cast<int>(headings_.indexOf(words)));
    }
    scrollToAnchor();
    return true;
}

void HelpWindow::scrollToAnchor() {
    if (anchor_.isEmpty()) return;
    const QTextBlock block = headingBlock(*browser_->document(), anchor_);
    if (!block.isValid()) return;
    const QRectF at = browser_->document()->documentLayout()->blockBoundingRect(block);
    scrolling_ = true;
    browser_->verticalScrollBar()->setValue(static_cast<int>(at.top()));
    scrolling_ = false;
}

QString HelpWindow::headingAtTop() const {
    const auto* layout = browser_->document()->documentLayout();
    const int top = browser_->verticalScrollBar()->value();
    QString shown = headings_.isEmpty() ? QString() : headings_.front();
    for (QTextBlock b = browser_->document()->begin(); b.isValid(); b = b.next()) {
        if (b.blockFormat().headingLevel() < 2) continue;
        if (layout->blockBoundingRect(b).top() > top + 1) break;
        shown = b.text().trimmed();
    }
    return shown;
}

void HelpWindow::followScrolling() {
    if (scrolling_) return;
    // The operator scrolls: the text no longer holds a heading at the top, and the contents
    // follow what is read.
    anchor_.clear();
    const QSignalBlocker quiet(contents_);
    contents_->setCurrentRow(static_cast<int>(headings_.indexOf(headingAtTop())));
}

bool HelpWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == browser_->viewport() && event->type() == QEvent::Resize) {
        // Room below the text, so that even the last section's heading can stand at the top.
        QTextFrame* root = browser_->document()->rootFrame();
        QTextFrameFormat format = root->frameFormat();
        const int room = std::max(0, browser_->viewport()->height() - 2 * fontMetrics().height());
        if (format.bottomMargin() != room) {
            format.setBottomMargin(room);
            root->setFrameFormat(format);
        }
        // The text is laid out again for the new width after this event: the heading asked
        // for is put back at the top then.
        QMetaObject::invokeMethod(
            this, [this] { scrollToAnchor(); }, Qt::QueuedConnection);
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace nms::ui
