// The Events panel's export: what the filters show, a page of the journal at a time, into a
// file that replaces the one chosen only once whole.

#include "ui/monitor_view.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "monitor/plant_monitor.h"
#include "platform/qt_text.h"
#include "protocol/text.h"
#include "station/settings_keys.h"
#include "station/station_context.h"
#include "ui/chart_export.h"

namespace nms::ui {

namespace {

QByteArray csvHeader() {
    return QByteArrayLiteral("time_utc,mac,name,severity,what,from,to,detail\r\n");
}

QByteArray csvRows(const ports::JournalPage& page) {
    auto quoted = [](const std::string& v) {
        QString s = platform::fromModel(v);
        s.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        return QLatin1Char('"') + s + QLatin1Char('"');
    };
    QString out;
    for (const auto& e : page.events)
        out += quoted(protocol::text::isoUtcTime(e.unixTimeMs, true)) + ',' + quoted(e.mac) + ',' +
               quoted(e.name) + ',' + quoted(e.severity) + ',' + quoted(e.what) + ',' +
               quoted(e.from) + ',' + quoted(e.to) + ',' + quoted(e.detail) +
               QStringLiteral("\r\n");
    return out.toUtf8();
}

}  // namespace

QString MonitorView::csv() const {
    QByteArray out = csvHeader();
    ports::JournalQuery q = filter();
    q.limit = kExportRows;
    for (;;) {
        const auto page = monitor_.journal().read(q);
        out += csvRows(page);
        if (page.events.size() < q.limit) break;
        q.before = page.at(page.events.size() - 1);
    }
    return QString::fromUtf8(out);
}

void MonitorView::exportCsv() {
    if (!export_->isEnabled()) return;
    auto& context = monitor_.context();
    namespace keys = station::settings;
    const QString folder =
        exportStartFolder(platform::fromModel(context.setting(keys::kEventsExportFolder)));
    const QDate today = QDateTime::fromMSecsSinceEpoch(context.clock().unixTimeMs()).date();
    const QString proposed =
        QDir(folder).filePath(QStringLiteral("nms-events-%1.csv").arg(today.toString(Qt::ISODate)));
    const auto chosen = context.dialogs().saveFileName(
        {"Export the events", platform::toModel(proposed), "CSV files (*.csv)"});
    if (!chosen || chosen->empty()) return;
    QString path = platform::fromModel(*chosen);
    // A new name typed without an extension gets the one its contents call for; a file that is
    // there is the one chosen.
    if (QFileInfo(path).suffix().isEmpty() && !QFileInfo::exists(path)) path += QStringLiteral(".csv");
    // The file chosen is replaced only once every event is written: an export that fails half
    // way leaves the file that was there as it was.
    auto file = std::make_shared<ExportFile>(path);
    if (!file->open()) {
        note_->setText(
            tr("Could not export the events to %1: %2").arg(file->fileName(), file->errorString()));
        return;
    }
    const QByteArray header = csvHeader();
    if (file->device().write(header) != header.size()) {
        const QString why = file->errorString();
        file->cancel();
        exportEnded(tr("Could not write the events to %1: %2").arg(file->fileName(), why));
        return;
    }
    // A page at a time, each written as it arrives: the journal is never all in memory, and
    // the window goes on between pages. What the filters show now is what is written, however
    // they change meanwhile.
    export_->setEnabled(false);
    note_->setText(tr("Exporting the events to %1...").arg(file->fileName()));
    auto q = filter();
    q.limit = kExportRows;
    exportPage(std::move(file), q, 0);
}

void MonitorView::exportEnded(const QString& note) {
    exportId_ = 0;
    export_->setEnabled(true);
    note_->setText(note);
}

void MonitorView::exportPage(std::shared_ptr<ExportFile> file, ports::JournalQuery query,
                             std::size_t written) {
    QPointer<MonitorView> self(this);
    // A journal that reads at once calls back before readLater returns: the id is kept only
    // while the read is under way.
    auto delivered = std::make_shared<bool>(false);
    const auto id = monitor_.journal().readLater(
        query, [self, file, query, written, delivered](ports::JournalPage page) mutable {
            *delivered = true;
            if (!self) return;
            self->exportId_ = 0;
            const QString path = QFileInfo(file->fileName()).absoluteFilePath();
            if (!page.error.empty()) {
                file->cancel();
                return self->exportEnded(tr("Could not export the events: the journal cannot be "
                                            "read (%1).")
                                             .arg(platform::fromModel(page.error)));
            }
            const QByteArray rows = csvRows(page);
            if (file->device().write(rows) != rows.size()) {
                const QString why = file->errorString();
                file->cancel();
                return self->exportEnded(tr("Could not write the events to %1: %2").arg(path, why));
            }
            written += page.events.size();
            if (page.events.size() == kExportRows) {
                query.before = page.at(page.events.size() - 1);
                // The next page on the next turn of the event loop, not from inside this one.
                QTimer::singleShot(0, self, [self, file, query, written] {
                    if (self) self->exportPage(file, query, written);
                });
                return;
            }
            // What the disk refuses shows when the last bytes go out.
            if (!file->commit()) {
                const QString why = file->errorString();
                return self->exportEnded(tr("Could not write the events to %1: %2").arg(path, why));
            }
            self->monitor_.context().setSetting(station::settings::kEventsExportFolder,
                                                platform::toModel(QFileInfo(path).absolutePath()));
            self->exportEnded(QStringLiteral("Exported %1 events to %2").arg(written).arg(path));
        });
    if (!*delivered) exportId_ = id;
}

}  // namespace nms::ui
