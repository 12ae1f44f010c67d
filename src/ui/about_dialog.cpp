#include "ui/about_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/icons.h"

#ifndef NMS_VERSION
#define NMS_VERSION "unknown"
#endif
#ifndef NMS_COMMIT
#define NMS_COMMIT "unknown"
#endif

namespace nms::ui {

QString AboutDialog::version() {
    return QStringLiteral(NMS_VERSION);
}
QString AboutDialog::commit() {
    return QStringLiteral(NMS_COMMIT);
}

AboutDialog::AboutDialog(const AboutFacts& facts, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(tr("About Vantrelo NG NMS"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* heading = new QLabel(tr("Vantrelo NG NMS %1").arg(version()), this);
    QFont big = heading->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.4);
    heading->setFont(big);
    auto* maker = new QLabel(tr("Network management station of the Vantrelo NG IP studio-to-"
                                "transmitter link, Kestrova Broadcast."),
                             this);
    maker->setWordWrap(true);

    auto orNone = [](const QString& s) { return s.isEmpty() ? QStringLiteral("-") : s; };
    const QString qt =
        QString::fromLatin1(qVersion()) == QLatin1String(QT_VERSION_STR)
            ? QString::fromLatin1(qVersion())
            : tr("%1 (built with %2)")
                  .arg(QString::fromLatin1(qVersion()), QLatin1String(QT_VERSION_STR));
    const QList<QPair<QString, QString>> rows{
        {tr("Version"), version()},
        {tr("Qt"), qt},
        {tr("Database"), orNone(facts.databasePath)},
        {tr("Settings"), orNone(facts.settingsPath)},
        {tr("Window layout"), orNone(facts.layoutPath)},
        {tr("Commit"), commit()},
    };
    auto* form = new QFormLayout;
    QStringList lines{heading->text()};
    for (const auto& [caption, value] : rows) {
        auto* label = new QLabel(value, this);
        label->setTextFormat(Qt::PlainText);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setObjectName(QStringLiteral("about") + QString(caption).remove(QLatin1Char(' ')));
        form->addRow(caption + QLatin1Char(':'), label);
        lines << caption + QStringLiteral(": ") + value;
    }
    text_ = lines.join(QLatin1Char('\n'));

    auto* picture = new QLabel(this);
    picture->setPixmap(picturePixmap(7, 48, palette()));
    auto* top = new QHBoxLayout;
    top->addWidget(picture, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->addWidget(heading);
    texts->addWidget(maker);
    texts->addLayout(form);
    top->addLayout(texts, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* copy = buttons->addButton(tr("&Copy"), QDialogButtonBox::ActionRole);
    connect(copy, &QPushButton::clicked, this,
            [this] { QApplication::clipboard()->setText(text_); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 12);
    layout->setSpacing(12);
    layout->addLayout(top);
    layout->addWidget(buttons);
    setMinimumWidth(520);
}

}  // namespace nms::ui
