#include "ui/chart_export.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <QSaveFile>
#include <QStandardPaths>
#include <QWidget>

#include "platform/qt_text.h"
#include "station/station_context.h"

namespace nms::ui {

using platform::fromModel;
using platform::toModel;

namespace {

QString startFolder(station::StationContext& context) {
    return exportStartFolder(fromModel(context.setting(station::settings::kExportFolder)));
}

// Empty when the file is in place, else the reason it is not.
QString writeWhole(const QString& path, const std::function<bool(QIODevice&)>& write) {
    ExportFile file(path);
    if (!file.open()) return file.errorString();
    if (!write(file.device())) {
        const QString reason = file.errorString();
        file.cancel();
        return reason.isEmpty() || reason == QLatin1String("Unknown error")
                   ? QObject::tr("the picture could not be encoded")
                   : reason;
    }
    if (!file.commit()) return file.errorString();
    return {};
}

}  // namespace

ExportFile::ExportFile(const QString& path) : path_(path) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        direct_ = std::make_unique<QFile>(path);
    else
        whole_ = std::make_unique<QSaveFile>(path);
}

// A file never committed is left as it was (the copy being written is removed).
ExportFile::~ExportFile() = default;

bool ExportFile::open() {
    return whole_ ? whole_->open(QIODevice::WriteOnly)
                  : direct_->open(QIODevice::WriteOnly | QIODevice::Truncate);
}

QIODevice& ExportFile::device() {
    if (whole_) return *whole_;
    return *direct_;
}

bool ExportFile::commit() {
    if (whole_) return whole_->commit();
    // What the device refuses shows when the last bytes go out.
    const bool written = direct_->flush() && direct_->error() == QFileDevice::NoError;
    if (!written) error_ = direct_->errorString();
    direct_->close();
    return written;
}

void ExportFile::cancel() {
    if (whole_)
        whole_->cancelWriting();
    else
        direct_->close();
}

QString ExportFile::errorString() const {
    if (!error_.isEmpty()) return error_;
    return whole_ ? whole_->errorString() : direct_->errorString();
}

QString exportStartFolder(const QString& remembered) {
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir()) return remembered;
    // A desktop without a documents folder (a server's account) opens at home, not wherever
    // the program was started.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

QImage titledPicture(QWidget* plot, const QString& title) {
    // A chart lays out its axes on the next turn of the event loop: a picture taken right after
    // new data would show the new range with the labels of the old one.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QPixmap shot = plot->grab();
    const qreal scale = shot.devicePixelRatio();
    QFont font = plot->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.25);
    const QFontMetrics metrics(font);
    const int band = metrics.height() + 16;
    const QSize size = shot.deviceIndependentSize().toSize();

    QImage picture(QSize(size.width(), size.height() + band) * scale, QImage::Format_RGB32);
    picture.setDevicePixelRatio(scale);
    const QPalette& p = plot->palette();
    picture.fill(p.color(QPalette::Base));
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(p.color(QPalette::Text));
    const QRect line(8, 0, size.width() - 16, band);
    painter.drawText(line, Qt::AlignCenter,
                     metrics.elidedText(title, Qt::ElideRight, line.width()));
    painter.drawPixmap(0, band, shot);
    painter.end();
    picture.setText(QStringLiteral("Title"), title);
    return picture;
}

QString exportChart(station::StationContext& context, QWidget* plot, const ChartExport& what) {
    const QString proposed =
        QDir(startFolder(context)).filePath(fromModel(what.baseName) + QStringLiteral(".csv"));
    const auto chosen = context.dialogs().saveFileName(
        {what.dialogTitle, toModel(proposed), toModel(QObject::tr("CSV files (*.csv)"))});
    if (!chosen || chosen->empty()) return {};
    QString csvPath = fromModel(*chosen);
    // A new name typed without an extension gets the one its contents call for; a file that is
    // there is the one chosen.
    if (QFileInfo(csvPath).suffix().isEmpty() && !QFileInfo::exists(csvPath)) csvPath += QStringLiteral(".csv");
    QString pngPath = csvPath;
    if (pngPath.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) pngPath.chop(4);
    pngPath += QStringLiteral(".png");

    auto fail = [&context](const QString& text) {
        context.msgBox(toModel(text), ports::MessageIcon::Exclamation);
        return text;
    };
    const std::optional<std::string> data = what.csv ? what.csv() : std::string();
    if (!data)
        return fail(QObject::tr("Nothing was exported: what was shown is no longer there."));
    const std::string& csv = *data;
    const QString csvProblem = writeWhole(csvPath, [&csv](QIODevice& f) {
        return f.write(csv.data(), static_cast<qint64>(csv.size())) ==
               static_cast<qint64>(csv.size());
    });
    if (!csvProblem.isEmpty())
        return fail(QObject::tr("Nothing was exported: %1 cannot be written (%2).")
                        .arg(QDir::toNativeSeparators(csvPath), csvProblem));
    context.setSetting(station::settings::kExportFolder,
                       toModel(QFileInfo(csvPath).absolutePath()));

    const QImage picture = titledPicture(plot, fromModel(what.title));
    const QString pngProblem =
        writeWhole(pngPath, [&picture](QIODevice& f) { return picture.save(&f, "PNG"); });
    if (!pngProblem.isEmpty())
        return fail(
            QObject::tr("The data went to %1, but the picture cannot be written to %2 (%3).")
                .arg(QDir::toNativeSeparators(csvPath), QDir::toNativeSeparators(pngPath),
                     pngProblem));
    return QObject::tr("Exported to %1 and %2.")
        .arg(QDir::toNativeSeparators(csvPath), QDir::toNativeSeparators(pngPath));
}

}  // namespace nms::ui
