#include "ui/settings_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include "monitor/plant_monitor.h"
#include "station/settings_keys.h"
#include "ui/widget_names.h"

namespace nms::ui {

StationSettingsDialog::StationSettingsDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("settingsDialog"));
    setWindowTitle(tr("Settings"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    using monitor::PlantMonitor;

    interval_ = new QSpinBox(this);
    interval_->setObjectName(QStringLiteral("settingsMonitorInterval"));
    namespace keys = station::settings;
    auto range = [](QSpinBox* box, const keys::Key& key) {
        box->setRange(static_cast<int>(key.low), static_cast<int>(key.high));
    };
    range(interval_, keys::kMonitorInterval);
    interval_->setSuffix(tr(" s"));
    interval_->setToolTip(tr("Seconds from the start of one monitoring cycle to the next"));
    days_ = new QSpinBox(this);
    days_->setObjectName(QStringLiteral("settingsJournalDays"));
    range(days_, keys::kJournalDays);
    days_->setSuffix(tr(" days"));
    megabytes_ = new QSpinBox(this);
    megabytes_->setObjectName(QStringLiteral("settingsJournalMegabytes"));
    range(megabytes_, keys::kJournalMegabytes);
    megabytes_->setSuffix(tr(" MB"));
    megabytes_->setToolTip(tr("Beyond this size the oldest events are forgotten first"));
    utc_ = new QCheckBox(tr("Show event times in &UTC"), this);
    utc_->setObjectName(QStringLiteral("settingsTimesInUtc"));
    utc_->setToolTip(tr("Otherwise in local time, with UTC in each time's tool tip"));

    auto* monitorBox = new QGroupBox(tr("Plant monitor"), this);
    auto* form = new QFormLayout(monitorBox);
    form->addRow(captionFor(interval_, tr("&Interval:"), monitorBox), interval_);
    form->addRow(captionFor(days_, tr("&Keep events for:"), monitorBox), days_);
    form->addRow(captionFor(megabytes_, tr("Journal &size at most:"), monitorBox), megabytes_);
    form->addRow(utc_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(monitorBox);
    layout->addWidget(buttons);
}

void StationSettingsDialog::setValues(const Values& v) {
    interval_->setValue(v.intervalSeconds);
    days_->setValue(v.journalDays);
    megabytes_->setValue(v.journalMegabytes);
    utc_->setChecked(v.timesInUtc);
}

StationSettingsDialog::Values StationSettingsDialog::values() const {
    return {interval_->value(), days_->value(), megabytes_->value(), utc_->isChecked()};
}

}  // namespace nms::ui
