#include "ui/sites_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace nms::ui {

SitesDialog::SitesDialog(Links links, QWidget* parent) : QDialog(parent), links_(std::move(links)) {
    setObjectName(QStringLiteral("frmSites"));
    setWindowTitle(tr("Sites"));
    auto* intro = new QLabel(tr("Transmitter sites behind routers: the paging broadcast does not reach them, so a "
                                "scan pages every address of their subnets, and nothing outside them."),
                             this);
    intro->setWordWrap(true);

    table_ = new QTableWidget(0, 3, this);
    table_->setObjectName(QStringLiteral("tableSites"));
    table_->setHorizontalHeaderLabels({tr("Site"), tr("Subnets"), tr("Addresses")});
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);

    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("txtSiteName"));
    name_->setPlaceholderText(tr("HILLTOP"));
    subnets_ = new QLineEdit(this);
    subnets_->setObjectName(QStringLiteral("txtSiteSubnets"));
    subnets_->setPlaceholderText(tr("10.1.2.0/24 10.1.3.0/24"));
    auto* addButton = new QPushButton(tr("&Add"), this);
    addButton->setObjectName(QStringLiteral("cmdAddSite"));
    auto* removeButton = new QPushButton(tr("&Remove"), this);
    removeButton->setObjectName(QStringLiteral("cmdRemoveSite"));
    rate_ = new QSpinBox(this);
    rate_->setObjectName(QStringLiteral("spnScanRate"));
    rate_->setRange(1, 10000);
    rate_->setSuffix(tr(" a second"));
    refusal_ = new QLabel(this);
    refusal_->setObjectName(QStringLiteral("lblSiteRefusal"));
    refusal_->setWordWrap(true);
    refusal_->setStyleSheet(QStringLiteral("color: #b00020"));
    refusal_->hide();

    auto* form = new QFormLayout;
    form->addRow(tr("&Name:"), name_);
    form->addRow(tr("S&ubnets:"), subnets_);
    form->addRow(tr("Paging &requests:"), rate_);
    auto* edit = new QHBoxLayout;
    edit->addStretch();
    edit->addWidget(addButton);
    edit->addWidget(removeButton);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    auto* scanButton = buttons->addButton(tr("&Scan"), QDialogButtonBox::ActionRole);
    scanButton->setObjectName(QStringLiteral("cmdScanSites"));
    scanButton->setToolTip(tr("Scan the chosen sites, or all of them when none is chosen"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(table_, 1);
    layout->addLayout(form);
    layout->addWidget(refusal_);
    layout->addLayout(edit);
    layout->addWidget(buttons);

    connect(addButton, &QPushButton::clicked, this, [this] { add(); });
    connect(subnets_, &QLineEdit::returnPressed, this, [this] { add(); });
    connect(removeButton, &QPushButton::clicked, this, [this] { remove(); });
    connect(scanButton, &QPushButton::clicked, this, [this] { scanChosen(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(rate_, &QSpinBox::valueChanged, this, [this](int v) { links_.setRate(v); });
    resize(560, 380);
    reload();
}

void SitesDialog::reload() {
    const auto sites = links_.load();
    table_->setRowCount(static_cast<int>(sites.size()));
    for (int row = 0; row < static_cast<int>(sites.size()); ++row) {
        const auto& site = sites[static_cast<std::size_t>(row)];
        QStringList subnets;
        for (const auto& s : site.subnets) subnets << QString::fromStdString(s.text());
        table_->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(site.name)));
        table_->setItem(row, 1, new QTableWidgetItem(subnets.join(QLatin1Char(' '))));
        auto* count = new QTableWidgetItem(QString::number(site.hostCount()));
        count->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table_->setItem(row, 2, count);
    }
    table_->resizeColumnToContents(0);
    const QSignalBlocker quiet(rate_);
    rate_->setValue(links_.rate());
}

void SitesDialog::refuse(const QString& why) {
    refusal_->setText(why);
    refusal_->setVisible(!why.isEmpty());
}

void SitesDialog::add() {
    auto sites = links_.load();
    std::vector<std::string> subnets;
    for (const auto& part : subnets_->text().split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts))
        subnets.push_back(part.toStdString());
    const std::string why = station::addSite(sites, name_->text().trimmed().toStdString(), subnets);
    if (!why.empty()) return refuse(QString::fromStdString(why));
    links_.save(sites);
    refuse({});
    subnets_->clear();
    reload();
}

void SitesDialog::remove() {
    auto sites = links_.load();
    bool removed = false;
    for (const auto& index : table_->selectionModel()->selectedRows())
        removed = station::removeSite(sites, table_->item(index.row(), 0)->text().toStdString()) || removed;
    if (!removed) return refuse(tr("Choose the site to remove in the list."));
    links_.save(sites);
    refuse({});
    reload();
}

void SitesDialog::scanChosen() {
    std::vector<std::string> names;
    for (const auto& index : table_->selectionModel()->selectedRows())
        names.push_back(table_->item(index.row(), 0)->text().toStdString());
    if (links_.load().empty()) return refuse(tr("Declare a site first."));
    refuse({});
    links_.scan(names);
}

}  // namespace nms::ui
