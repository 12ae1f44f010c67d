#include "ui/plant_windows.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QSysInfo>
#include <QWidget>

#include "app/frm_main.h"
#include "discovery/paging.h"
#include "editor/configuration_exchange.h"
#include "plant/plant_backup.h"
#include "plant/plant_file.h"
#include "plant/sfn_overview.h"
#include "platform/qt_text.h"
#include "ports/event_gate.h"
#include "protocol/element_key.h"
#include "station/settings_keys.h"
#include "store/profile_store.h"
#include "ui/about_dialog.h"
#include "ui/sfn_overview_window.h"
#include "ui/sites_dialog.h"

namespace nms::ui {

using ports::Answer;
using ports::MessageButtons;
using ports::MessageIcon;

PlantLinks plantLinksOf(app::frmMain& main) {
    return PlantLinks{main.context(),
                      {main.context(), main.panel, main.editor(), main.exchange(),
                       [&main] { main.exchange().SaveConfiguration(); }},
                      [&main] { main.RefreshElementList(); },
                      [&main](std::vector<station::Subnet> subnets, int rate) {
                          main.paging().StartSiteScan(std::move(subnets), rate);
                      },
                      [&main] { return main.paging().scanning(); }};
}

void PlantWindows::showSites() {
    if (!sites_) {
        auto& ctx = links_.context;
        sites_ = new SitesDialog(
            SitesDialog::Links{
                [&ctx] { return station::loadSites(ctx.env.settings); },
                [&ctx](const station::Sites& s) { station::saveSites(ctx.env.settings, s); },
                [&ctx] { return static_cast<int>(ctx.numberSetting(station::settings::kSiteScanRate)); },
                [&ctx](int rate) { ctx.setSetting(station::settings::kSiteScanRate, std::to_string(rate)); },
                [this](const std::vector<std::string>& names) { scanSites(names); }},
            parent_);
    }
    sites_->reload();
    sites_->show();
    sites_->raise();
    sites_->activateWindow();
}

void PlantWindows::scanAllSites() {
    if (station::loadSites(links_.context.env.settings).empty()) {
        say("No site is declared.\rDeclare the sites behind routers with Station > Sites... first.", true);
        return;
    }
    scanSites({});
}

void PlantWindows::scanSites(const std::vector<std::string>& names) {
    operatorDoes([this, names] {
        auto& ctx = links_.context;
        if (links_.scanning()) return;
        double listen = 6;
        discovery::Paging::acceptableTimeout(ctx.setting(station::settings::kScanTimeout), &listen);
        const auto plan = discovery::planSiteScan(
            station::loadSites(ctx.env.settings), names,
            static_cast<int>(ctx.numberSetting(station::settings::kSiteScanRate)), listen);
        if (plan.subnets.empty()) return;
        if (ctx.msgBox(plan.summary() + "\rThe elements that answer are merged into the database; nothing is deleted."
                                        "\rStart the scan?",
                       MessageIcon::Question, MessageButtons::YesNo, Answer::No, "Scan sites") != Answer::Yes)
            return;
        if (sites_) sites_->hide();
        links_.scanSites(plan.subnets, plan.rate);
    });
}

PlantWindows::PlantWindows(const PlantLinks& links, ports::EventGate& gate, QWidget* parent)
    : QObject(parent),
      links_(links),
      gate_(gate),
      parent_(parent),
      replacement_(std::make_unique<plant::ReplacementUnit>(links.replacement)) {
    chooseFile = [this](bool forSaving, const QString& title, const QString& proposed) {
        const QString filter = tr("Plant backups (*.json)");
        return forSaving ? QFileDialog::getSaveFileName(parent_, title, proposed, filter)
                         : QFileDialog::getOpenFileName(parent_, title, proposed, filter);
    };
    chooseItem = [this](const QString& title, const QStringList& items) {
        bool ok = false;
        const QString picked =
            QInputDialog::getItem(parent_, title, tr("Record:"), items, 0, false, &ok);
        return ok ? static_cast<int>(items.indexOf(picked)) : -1;
    };
    replacement_->onFinished = [this] {
        const auto& s = replacement_->summary();
        say(s.text(), !s.complete());
    };
}

PlantWindows::~PlantWindows() {
    // The window goes before the overview it draws.
    delete overviewWindow_;
}

void PlantWindows::operatorDoes(std::function<void()> action) {
    gate_.dispatch(ports::EventGate::Kind::Operator, std::move(action));
}

void PlantWindows::say(const std::string& text, bool problem) {
    operatorDoes([this, text, problem] {
        links_.context.msgBox(text, problem ? MessageIcon::Exclamation : MessageIcon::Information,
                              MessageButtons::Ok, Answer::Ok);
    });
}

// Another conversation that a replaced database would pull the ground from under.
bool PlantWindows::busyElsewhere(const std::string& what) {
    std::string reason;
    if (overview_ && overview_->busy()) reason = "the SFN overview is measuring";
    if (replacement_->busy()) reason = "settings are being applied to an element";
    if (links_.replacement.exchange.awaitingConfigurationAnswer())
        reason = "a configuration waits for the element's answer";
    if (reason.empty()) return false;
    say("Unable to " + what + " while " + reason + ".", true);
    return true;
}

void PlantWindows::showSfnOverview() {
    if (!overview_) overview_ = std::make_unique<plant::SfnOverview>(links_.context);
    if (!overviewWindow_) {
        overviewWindow_ = new SfnOverviewWindow(*overview_, gate_, parent_);
        overviewWindow_->setAttribute(Qt::WA_DeleteOnClose, false);
    } else if (!overviewWindow_->isVisible()) {
        overviewWindow_->reload();
    }
    overviewWindow_->show();
    overviewWindow_->raise();
    overviewWindow_->activateWindow();
}

void PlantWindows::exportPlant() {
    const QString file = chooseFile(true, tr("Export plant"), QStringLiteral("plant.json"));
    if (file.isEmpty()) return;
    auto& ctx = links_.context;
    const std::string path = QFileInfo(file).absoluteFilePath().toStdString();
    const auto done = plant::exportPlant(
        ctx.db(), ctx.databasePath(), ctx.env.settings, path,
        {QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString(),
         QSysInfo::machineHostName().toStdString(), AboutDialog::version().toStdString()});
    switch (done.end) {
        case plant::PlantExport::End::DatabaseUnreadable:
            say(ctx.databasePath() + " cannot be read: nothing was exported.", true);
            return;
        case plant::PlantExport::End::NotWritten:
            say("Unable to write " + path + ": " + done.error, true);
            return;
        case plant::PlantExport::End::Written:
            break;
    }
    const std::string note =
        done.refusal.empty()
            ? std::string()
            : "\r\rThe database holds a record an import would refuse: " + done.refusal;
    say(std::to_string(done.records) + " element(s) and " + std::to_string(done.settings) +
            " setting(s) written to " + path + "." + note,
        !note.empty());
}

std::optional<plant::PlantBackup> PlantWindows::readBackupFile(const QString& file,
                                                               const std::string& unchanged) {
    // Through the station's file store, as the export wrote it.
    const std::string path = QFileInfo(file).absoluteFilePath().toStdString();
    auto read = plant::readBackupFile(links_.context.db().files(), path);
    switch (read.problem) {
        case plant::BackupFile::Problem::None:
            break;
        case plant::BackupFile::Problem::TooLarge:
            say(path + " is too large to be a plant backup.\r" + unchanged, true);
            break;
        case plant::BackupFile::Problem::Unreadable:
            say("Unable to read " + path + ".\r" + unchanged, true);
            break;
        case plant::BackupFile::Problem::NotABackup:
            say(path + ": " + read.why + "\r" + unchanged, true);
            break;
    }
    return std::move(read.backup);
}

void PlantWindows::importPlant() {
    if (busyElsewhere("import a plant")) return;
    const QString file = chooseFile(false, tr("Import plant"), QString());
    if (file.isEmpty()) return;
    const auto backup = readBackupFile(file, "The database was not changed.");
    if (!backup) return;
    const auto current = plant::recordsNow(links_.context.db(), links_.context.databasePath());
    if (!current) {
        say(links_.context.databasePath() + " cannot be read.\rThe database was not changed.",
            true);
        return;
    }
    // Handed over whole: the gate may run it after this function has returned.
    operatorDoes([this, current = *current, backup = *backup] {
        auto& ctx = links_.context;
        const std::string question =
            plant::replacementSummary(current, backup, ctx.databasePath()) +
            "\r\rReplace the database with the backup?";
        if (ctx.msgBox(question, MessageIcon::Question, MessageButtons::YesNo, Answer::No,
                       "Import plant") != Answer::Yes)
            return;
        bool keptCopy = false;
        if (const auto done =
                plant::restoreDatabase(ctx.db(), ctx.databasePath(), backup, &keptCopy);
            !done.ok) {
            ctx.msgBox(done.error + "\rThe database was not changed.", MessageIcon::Critical,
                       MessageButtons::Ok, Answer::Ok);
            return;
        }
        plant::restoreSites(ctx.env.settings, backup);
        // The plant monitor reads the records at each cycle: it goes on with the new ones.
        links_.reloadTree();
        if (overview_ && !overview_->busy()) overview_->reload();
        ctx.msgBox(keptCopy ? "The database was replaced; the previous one is kept as " +
                                  ctx.databasePath() + ".bak."
                            : "The database was written from the plant file.",
                   MessageIcon::Information, MessageButtons::Ok, Answer::Ok, "Import plant");
    });
    if (overviewWindow_) overviewWindow_->reload();
}

void PlantWindows::applySettingsFrom() {
    auto& ctx = links_.context;
    if (!ctx.hasShownElement()) {
        say("Show the element that takes the settings first.", true);
        return;
    }
    if (replacement_->busy() || links_.replacement.exchange.awaitingConfigurationAnswer()) {
        say("A configuration is already on its way to an element.", true);
        return;
    }
    const std::string shownSection = protocol::ElementKey(ctx.shownElementMac());
    const int role = static_cast<int>(ctx.shownElement().role);

    // The database's records of the same role, then the choice of a backup file.
    std::vector<plant::SourceRecord> records;
    for (const auto& s : ctx.databaseSections())
        records.push_back(plant::recordOfSection(ctx.db(), ctx.databasePath(), s));
    records = plant::candidatesOf(std::move(records), role, shownSection);
    QStringList items;
    for (const auto& r : records) items << platform::fromModel(r.name());
    items << tr("From a backup file...");
    const int picked = chooseItem(tr("Apply settings from"), items);
    if (picked < 0) return;

    std::optional<plant::SourceRecord> source;
    if (picked < static_cast<int>(records.size())) {
        source = records[static_cast<std::size_t>(picked)];
    } else {
        const QString file = chooseFile(false, tr("Apply settings from a backup"), QString());
        if (file.isEmpty()) return;
        const auto backup = readBackupFile(file, "Nothing was changed.");
        if (!backup) return;
        const std::string path = QFileInfo(file).absoluteFilePath().toStdString();
        std::vector<plant::SourceRecord> inFile;
        for (const auto& b : backup->records)
            inFile.push_back({b.key, b.values, QFileInfo(file).fileName().toStdString()});
        // The shown element's own record in a file is a source (last week's backup).
        inFile = plant::candidatesOf(std::move(inFile), static_cast<int>(role), {});
        if (inFile.empty()) {
            say(path + " holds no record of the shown element's role. Nothing was changed.", true);
            return;
        }
        QStringList names;
        for (const auto& r : inFile) names << platform::fromModel(r.name());
        const int chosen = chooseItem(tr("Apply settings from %1").arg(file), names);
        if (chosen < 0) return;
        source = inFile[static_cast<std::size_t>(chosen)];
    }
    operatorDoes([this, source = std::move(*source)] {
        const std::string refusal = replacement_->apply(source);
        if (!refusal.empty())
            links_.context.msgBox(refusal, MessageIcon::Exclamation, MessageButtons::Ok,
                                  Answer::Ok);
    });
}

}  // namespace nms::ui
