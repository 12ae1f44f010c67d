// The Events panel's rows: the journal read a page at a time (the newest, what came since, or
// older ones as the operator scrolls), each event drawn as a row, and the alarms not yet
// acknowledged in red.

#include "ui/monitor_view.h"

#include <QDateTime>
#include <QPointer>
#include <QTableWidget>

#include <algorithm>

#include "monitor/plant_monitor.h"
#include "platform/qt_text.h"
#include "protocol/text.h"
#include "ui/health_marks.h"
#include "ui/plain_text.h"

namespace nms::ui {

namespace {

const QColor kAlarmText(0xd0, 0x20, 0x20);

monitor::Health healthOf(const std::string& word) {
    using monitor::Health;
    for (Health h : {Health::Online, Health::Warning, Health::Alarm, Health::Offline})
        if (word == monitor::healthWord(h)) return h;
    return Health::Unknown;
}

QString changeText(const ports::JournalEvent& e) {
    return e.from.empty()
               ? platform::fromModel(e.to)
               : platform::fromModel(e.from) + QStringLiteral(" → ") + platform::fromModel(e.to);
}

}  // namespace

void MonitorView::read(Reading kind, const ports::JournalQuery& query) {
    auto& journal = monitor_.journal();
    // A new filter makes the read under way pointless.
    if (reading_) journal.cancel(readId_);
    if (kind == Reading::Newest) {
        keep_ = kPageRows;
        wantOlder_ = false;
    }
    auto q = query;
    q.limit = kind == Reading::Older ? kPageRows : keep_;
    if (kind != Reading::Older) shownAppends_ = journal.appended();
    const std::uint64_t ticket = ++ticket_;
    reading_ = true;
    QPointer<MonitorView> self(this);
    const auto id =
        journal.readLater(q, [self, ticket, kind, asked = q.limit](ports::JournalPage page) {
            if (!self) return;
            // The page arrives as an event of the station's, after whatever runs now.
            self->gate_.dispatch(ports::EventGate::Kind::Posted,
                                 [self, ticket, kind, asked, page = std::move(page)] {
                                     if (!self || ticket != self->ticket_) return;
                                     self->reading_ = false;
                                     self->showPage(kind, page, asked);
                                 });
        });
    // A journal that reads at once may have shown the page already.
    if (ticket == ticket_ && reading_) readId_ = id;
}

void MonitorView::showTime(int row) {
    const std::int64_t ms = rows_[static_cast<std::size_t>(row)].event.unixTimeMs;
    const QString utc = platform::fromModel(protocol::text::isoUtcTime(ms, false));
    const QString local = locale_.toString(QDateTime::fromMSecsSinceEpoch(ms), localFormat_);
    auto* item = table_->item(row, kTime);
    item->setText(timesInUtc_ ? utc : local);
    item->setToolTip(timesInUtc_ ? local : utc);
}

bool MonitorView::learnSeen(const std::string& mac, std::int64_t unixTimeMs) {
    auto& until = seenUntil_[mac];
    if (until >= unixTimeMs) return false;
    until = unixTimeMs;
    return true;
}

// An alarm an operator has not acknowledged yet is red; one seen since is drawn as any row,
// its mark hollow.
void MonitorView::showCalm(int row) {
    const auto& e = rows_[static_cast<std::size_t>(row)].event;
    const auto seen = seenUntil_.find(e.mac);
    const bool acknowledged =
        e.what == "acknowledged" || (seen != seenUntil_.end() && seen->second >= e.unixTimeMs);
    const QBrush text = e.severity == "alarm" && !acknowledged ? QBrush(kAlarmText) : QBrush();
    table_->item(row, kWhat)->setForeground(text);
    table_->item(row, kChange)->setForeground(text);
    if (e.what == "health")
        table_->item(row, kChange)->setIcon(healthIcon(healthOf(e.to), acknowledged));
    else if (e.what == "acknowledged")
        table_->item(row, kChange)->setIcon(healthIcon(healthOf(e.from), true));
}

void MonitorView::putRows(int at, const ports::JournalPage& page, std::size_t from,
                          std::size_t count) {
    if (count == 0) return;
    table_->model()->insertRows(at, static_cast<int>(count));
    rows_.insert(rows_.begin() + at, count, Row{});
    bool seen = false;
    for (std::size_t i = 0; i < count; ++i) {
        const auto& e = page.events[from + i];
        const int row = at + static_cast<int>(i);
        rows_[static_cast<std::size_t>(row)] = {page.at(from + i), e};
        newestSeq_ = std::max(newestSeq_, page.seqs[from + i]);
        const QString cells[] = {QString(), platform::fromModel(e.name),
                                 platform::fromModel(e.what), changeText(e),
                                 platform::fromModel(e.detail)};
        for (int c = 0; c < kColumns; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c != kTime) item->setToolTip(plainToolTip(cells[c]));
            table_->setItem(row, c, item);
        }
        table_->item(row, kElement)
            ->setToolTip(plainToolTip(cells[kElement] + QStringLiteral(" [") +
                                      platform::fromModel(e.mac) + QLatin1Char(']')));
        table_->item(row, kWhat)
            ->setToolTip(plainToolTip(cells[kWhat] + QStringLiteral(" (") +
                                      platform::fromModel(e.severity) + QLatin1Char(')')));
        showTime(row);
        if (e.what == "acknowledged") seen = learnSeen(e.mac, e.unixTimeMs) || seen;
    }
    const int end = seen ? table_->rowCount() : at + static_cast<int>(count);
    for (int row = seen ? 0 : at; row < end; ++row) showCalm(row);
}

void MonitorView::showPage(Reading kind, const ports::JournalPage& page, std::size_t asked) {
    // A journal that cannot be read shows nothing for a new filter, and keeps what it showed
    // otherwise; the status says why it cannot be written.
    if (!page.error.empty() && kind != Reading::Newest) return;
    const std::size_t n = page.events.size();
    table_->setUpdatesEnabled(false);
    switch (kind) {
        case Reading::Newest:
            table_->setRowCount(0);
            rows_.clear();
            newestSeq_ = -1;
            putRows(0, page, 0, n);
            older_ = n == asked;
            break;
        case Reading::Newer:
            // As many as the panel keeps came since: none of the rows shown stays.
            if (n >= keep_) {
                table_->setRowCount(0);
                rows_.clear();
                older_ = true;
            }
            putRows(0, page, 0, std::min(n, keep_));
            if (rows_.size() > keep_) {
                table_->model()->removeRows(static_cast<int>(keep_),
                                            static_cast<int>(rows_.size() - keep_));
                rows_.resize(keep_);
                older_ = true;
            }
            break;
        case Reading::Older:
            wantOlder_ = false;
            putRows(static_cast<int>(rows_.size()), page, 0, n);
            keep_ += n;
            older_ = n == asked;
            break;
    }
    // The columns take the width of what they first show, once, and no more than a share of
    // the panel (a saved configuration's changes can be long): sized again with every row they
    // would cost more than the rows. "Why" is left to stretch over the rest of the width.
    if (!columnsSized_ && table_->rowCount() > 0) {
        for (int c = 0; c + 1 < table_->columnCount(); ++c) {
            table_->resizeColumnToContents(c);
            natural_[static_cast<std::size_t>(c)] =
                c == kTime ? table_->columnWidth(c) : std::min(table_->columnWidth(c), 220);
        }
        columnsSized_ = true;
        fitColumns();
    }
    table_->setUpdatesEnabled(true);
    showDetails();
}

}  // namespace nms::ui
