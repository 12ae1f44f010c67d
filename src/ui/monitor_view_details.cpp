// The Events panel's details pane: the selected event whole, and acknowledging its element.

#include "ui/monitor_view.h"

#include <QDateTime>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include "monitor/plant_monitor.h"
#include "platform/operator_name.h"
#include "platform/qt_text.h"
#include "protocol/text.h"
#include "ui/health_marks.h"

namespace nms::ui {

const ports::JournalEvent* MonitorView::selectedEvent() const {
    const auto rows = table_->selectionModel()->selectedRows();
    if (rows.isEmpty()) return nullptr;
    const auto row = static_cast<std::size_t>(rows.front().row());
    return row < rows_.size() ? &rows_[row].event : nullptr;
}

// The selected event whole, and whether its element can be acknowledged now.
void MonitorView::showDetails() {
    const auto* e = selectedEvent();
    const auto* element = e ? monitor_.find(e->mac) : nullptr;
    acknowledge_->setEnabled(e && monitor_.running() && monitor_.acknowledgeable(e->mac));
    if (!e) {
        details_->setText(tr("<i>Select an event to see it whole here.</i>"));
        return;
    }
    auto line = [](const QString& caption, const QString& value) {
        return QStringLiteral(
                   "<tr><td style='padding-right:8px; "
                   "white-space:nowrap'><b>%1</b></td><td>%2</td></tr>")
            .arg(caption.toHtmlEscaped(), value.toHtmlEscaped());
    };
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(e->unixTimeMs);
    QString text = QStringLiteral("<table>");
    text += line(tr("Local time"), locale_.toString(at, localFormat_));
    text += line(tr("UTC"), platform::fromModel(protocol::text::isoUtcTime(e->unixTimeMs, false)));
    text += line(tr("Element"), platform::fromModel(e->name));
    text += line(tr("MAC"), platform::fromModel(e->mac));
    text += line(tr("Severity"), platform::fromModel(e->severity));
    text += line(tr("What"), platform::fromModel(e->what));
    text += line(tr("From"), e->from.empty() ? tr("(not known)") : platform::fromModel(e->from));
    text += line(tr("To"), platform::fromModel(e->to));
    text += line(tr("Why"), platform::fromModel(e->detail));
    if (element && element->acknowledged)
        text += line(tr("Now"), tr("%1, acknowledged by %2")
                                    .arg(healthText(element->health),
                                         platform::fromModel(element->acknowledgedBy)));
    else if (element && monitor_.running())
        text += line(tr("Now"), healthText(element->health));
    text += QStringLiteral("</table>");
    details_->setText(text);
}

void MonitorView::acknowledgeSelected() {
    const auto* e = selectedEvent();
    if (!e || !acknowledge_->isEnabled()) return;
    const std::string mac = e->mac;
    if (!monitor_.acknowledge(mac, platform::operatorName())) return;
    // The journal's row of it comes on top; this panel's rows of the element calm down now.
    follow();
}

}  // namespace nms::ui
