// The plant's windows on the demo plant, driven by clicks: the SFN overview closes the spread of
// TX EAST SFN and TX WEST SFN, and a factory-default spare takes a failed decoder's settings from
// a backup file through Element > Apply settings from...

#include <gtest/gtest.h>

#include <QAction>
#include <QBarCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextDocument>

#include <memory>

#include "gui_support.h"
#include "monitor/plant_monitor.h"
#include "plant/plant_backup.h"
#include "plant/sfn_overview_view.h"
#include "station/demo_station.h"
#include "ui/main_window.h"
#include "ui/plant_windows.h"
#include "ui/sfn_group_plot.h"
#include "ui/sfn_overview_window.h"

namespace nms::testing {
namespace {

class PlantWindowsGui : public DemoStation {
protected:
    void SetUp() override {
        DemoStation::SetUp();
        discover();
        window = std::make_unique<ui::MainWindow>(*main, gate);
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override { window.reset(); }
    void press(QWidget* w, const char* name) {
        auto* button = w->findChild<QPushButton*>(QLatin1String(name));
        ASSERT_NE(button, nullptr) << name;
        ASSERT_TRUE(button->isEnabled()) << name;
        click(button, button->rect().center());
        QApplication::processEvents();
    }
    void pass(std::int64_t ms) {
        time.advance(ms);
        QApplication::processEvents();
    }
    QString cell(QTableWidget* t, const QString& name, const char* column) {
        const auto& columns = plant::overviewColumns();
        const auto c = std::find(columns.begin(), columns.end(), column) - columns.begin();
        for (int r = 0; r < t->rowCount(); ++r)
            if (t->item(r, 0) && t->item(r, 0)->text() == name)
                return t->item(r, static_cast<int>(c)) ? t->item(r, static_cast<int>(c))->text()
                                                       : QString();
        return QStringLiteral("<no row>");
    }
    std::unique_ptr<ui::MainWindow> window;
};

TEST_F(PlantWindowsGui, TheSfnOverviewMeasuresAlignsAndAppliesAndTheSpreadCloses) {
    window->menuAction(QStringLiteral("actionSfnOverview"))->trigger();
    auto* overview = window->plantWindows()->sfnOverviewWindow();
    ASSERT_NE(overview, nullptr);
    ASSERT_TRUE(overview->isVisible());
    ASSERT_EQ(overview->groups()->count(), 1);
    EXPECT_EQ(overview->groups()->tabText(0), "Stream 239.192.50.1");
    auto* table = overview->table(0);
    ASSERT_EQ(table->rowCount(), 2);

    press(overview, "cmdMeasure");
    pass(5000);
    const int progress = overview->findChild<QProgressBar*>()->value();
    EXPECT_TRUE(progress > 0 && progress < 100) << progress;
    pass(5000);
    const QString east = cell(table, "TX EAST SFN", "Total (path + additional)");
    const QString west = cell(table, "TX WEST SFN", "Total (path + additional)");
    EXPECT_TRUE(east.endsWith(" µs")) << east.toStdString();
    EXPECT_NE(east, west);
    auto* summary = overview->groups()->widget(0)->findChild<QLabel*>("lblSummary");
    // Measured: figures, no proposal yet; Align proposes, on a later target with a larger margin.
    EXPECT_TRUE(summary->text().startsWith("Spread of totals ")) << summary->text().toStdString();
    EXPECT_TRUE(cell(table, "TX WEST SFN", "Proposed").isEmpty());
    EXPECT_FALSE(overview->findChild<QPushButton*>("cmdApply")->isEnabled());
    press(overview, "cmdAlign");
    EXPECT_TRUE(summary->text().contains("once applied")) << summary->text().toStdString();
    EXPECT_FALSE(cell(table, "TX WEST SFN", "Proposed").isEmpty());
    const QString before = summary->text();
    auto* margin = overview->findChild<QSpinBox*>("marginUs");
    margin->setValue(200);
    press(overview, "cmdAlign");
    EXPECT_NE(summary->text(), before);
    const QString proposedEast = cell(table, "TX EAST SFN", "Proposed");

    dialogs.expect(ports::Answer::Yes, "TX WEST SFN: 0 -> ");
    press(overview, "cmdApply");
    EXPECT_NE(dialogs.last().text.find("\rTX EAST SFN: 1200 -> "), std::string::npos);
    pass(10000);
    EXPECT_EQ(cell(table, "TX EAST SFN", "State"), "Set, recorded and confirmed");
    EXPECT_EQ(cell(table, "TX WEST SFN", "State"), "Set, recorded and confirmed");
    // Applied: the delay the decoder holds now, and no proposal beside it.
    EXPECT_EQ(cell(table, "TX EAST SFN", "Additional delay"), proposedEast);
    EXPECT_TRUE(cell(table, "TX EAST SFN", "Proposed").isEmpty());
    EXPECT_TRUE(summary->text().contains("measured after it")) << summary->text().toStdString();
    EXPECT_FALSE(overview->findChild<QPushButton*>("cmdApply")->isEnabled());
    // The plot: before and after for each decoder, and the target.
    EXPECT_EQ(overview->plot()->view()->chart()->series().size(), 3);
    overview->grab().save(screenshotPath(QStringLiteral("sfn-overview.png")));

    // Export writes the group as CSV and the plot beside it.
    QTemporaryDir dir;
    dialogs.expectSaveFile(dir.filePath(QStringLiteral("group.csv")).toStdString());
    press(overview, "cmdExport");
    EXPECT_NE(dialogs.saveFilesShown().back().proposed.find("sfn-overview-239-192-50-1-"),
              std::string::npos);
    EXPECT_TRUE(QImage(dir.filePath(QStringLiteral("group.png")))
                    .text(QStringLiteral("Title"))
                    .startsWith(QStringLiteral("SFN group of stream 239.192.50.1, exported ")));
    EXPECT_TRUE(overview->findChild<QLabel*>("lblStatus")->text().startsWith("Exported to "));
    QFile csv(dir.filePath(QStringLiteral("group.csv")));
    ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
    EXPECT_TRUE(csv.readAll().contains("\"TX EAST SFN\""));
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("group.png"))));
    // Escape puts the window away, and a measurement with it: the port goes back.
    press(overview, "cmdMeasure");
    EXPECT_TRUE(main->plantMonitor().paused());
    pressKey(overview, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_FALSE(overview->isVisible());
    EXPECT_FALSE(main->plantMonitor().paused());

    // Opened again, it starts over: nothing measured, nothing said, nothing plotted.
    window->menuAction(QStringLiteral("actionSfnOverview"))->trigger();
    QApplication::processEvents();
    summary = overview->groups()->widget(0)->findChild<QLabel*>("lblSummary");
    EXPECT_EQ(summary->text(), "Not measured yet.");
    EXPECT_EQ(overview->findChild<QLabel*>("lblStatus")->text(), "");
    EXPECT_TRUE(overview->plot()->view()->chart()->series().isEmpty());
    EXPECT_TRUE(overview->plot()->view()->chart()->axes().isEmpty());
    EXPECT_TRUE(cell(overview->table(0), "TX EAST SFN", "Total (path + additional)").isEmpty());
}

// A name that looks like markup is drawn as written: in the table, on the plot's axis, and in
// the lines that say what happened.
TEST_F(PlantWindowsGui, TheSfnOverviewShowsANameThatLooksLikeMarkupAsWritten) {
    const std::string markup = "ÉMET \"N\" <B>X</B";
    db->WriteToINI(sectionOf("TX WEST SFN"), "NAME", markup, kDb);
    window->menuAction(QStringLiteral("actionSfnOverview"))->trigger();
    auto* overview = window->plantWindows()->sfnOverviewWindow();
    ASSERT_NE(overview, nullptr);
    press(overview, "cmdMeasure");
    pass(10000);
    const QString name = QString::fromStdString(markup);
    EXPECT_NE(cell(overview->table(0), name, "State"), QStringLiteral("<no row>"));
    QStringList axis;
    for (auto* a : overview->plot()->view()->chart()->axes(Qt::Horizontal))
        if (auto* categories = qobject_cast<QBarCategoryAxis*>(a)) axis = categories->categories();
    ASSERT_EQ(axis.size(), 2);
    // The axis draws its labels as markup: what it reads must be the name.
    QStringList shown;
    for (const auto& label : axis) {
        QTextDocument d;
        d.setHtml(label);
        shown << d.toPlainText();
    }
    EXPECT_TRUE(shown.contains(name)) << shown.join(QLatin1Char('|')).toStdString();
    for (auto* label : {overview->findChild<QLabel*>("lblStatus"),
                        overview->groups()->widget(0)->findChild<QLabel*>("lblSummary")})
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
}

TEST_F(PlantWindowsGui, ImportingAPlantReplacesTheDatabaseKeepsTheOldOneAndTheMonitorGoesOn) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("plant.json"));
    window->plantWindows()->chooseFile = [&](bool, const QString&, const QString&) { return file; };
    dialogs.expect(ports::Answer::Ok, "5 element(s)");
    window->menuAction(QStringLiteral("actionExportPlant"))->trigger();
    const std::string exported = this->file();
    // TX NORTH is off the network when the next scan runs: the database loses it.
    element("TX NORTH").identity().ip = {10, 99, 0, 2};
    dialogs.expect(ports::Answer::Yes, "delete the local database");
    discover();
    const std::string discovered = this->file();
    ASSERT_NE(discovered, exported);
    operatorDoes([&] { main->setPlantMonitoring(true); });
    pass(1000);
    const int cycles = main->plantMonitor().cycles();

    dialogs.expect(ports::Answer::Yes, "Replace the database with the backup?");
    dialogs.expect(ports::Answer::Ok, "previous one is kept");
    window->menuAction(QStringLiteral("actionImportPlant"))->trigger();
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_EQ(this->file(), exported);
    EXPECT_EQ(files.content(std::string(kDb) + ".bak"), discovered);
    EXPECT_EQ(main->TreeView1.nodes().size(), 5u);
    pass(30000);
    EXPECT_TRUE(main->plantMonitor().running());
    EXPECT_GT(main->plantMonitor().cycles(), cycles);
    EXPECT_EQ(main->plantMonitor().elements().size(), 5u);
}

TEST_F(PlantWindowsGui, AFactoryDefaultSpareTakesAFailedDecodersSettingsFromABackupFile) {
    // The plant as it was, exported through the menu.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("plant.json"));
    auto* plantWindows = window->plantWindows();
    plantWindows->chooseFile = [&](bool, const QString&, const QString&) { return file; };
    dialogs.expect(ports::Answer::Ok, "5 element(s)");
    window->menuAction(QStringLiteral("actionExportPlant"))->trigger();
    std::optional<std::string> exported;
    ASSERT_TRUE(db->snapshot(QFileInfo(file).absoluteFilePath().toStdString(), exported));
    ASSERT_TRUE(exported && exported->find("\"TX EAST SFN") != std::string::npos);

    // TX EAST SFN fails; the spare arrives with factory settings and a scan finds it.
    element("TX EAST SFN").identity().ip = {10, 99, 0, 1};
    sim::ElementIdentity spare;
    spare.role = sim::Role::Decoder;
    spare.mac = {0x00, 0x1A, 0x2B, 0x50, 0x00, 0x99};
    auto& unit = plant.lan().addElement(spare);
    dialogs.expect(ports::Answer::Yes, "delete the local database");
    discover();
    show("ELEMENT");
    QApplication::processEvents();

    // From the file, not the database (whose records of decoders are the working ones).
    QStringList offered;
    dialogs.expect(ports::Answer::Yes, "Are you sure?");
    dialogs.expect(ports::Answer::Ok, "sucessfuly saved");
    dialogs.expect(ports::Answer::Ok, "Settings of TX EAST SFN");
    plantWindows->chooseItem = [&](const QString&, const QStringList& items) {
        if (offered.isEmpty()) {
            offered = items;
            return static_cast<int>(items.size() - 1);  // "From a backup file..."
        }
        return static_cast<int>(items.indexOf(QStringLiteral("TX EAST SFN (00:1A:2B:50:00:20)")));
    };
    window->menuAction(QStringLiteral("actionApplySettingsFrom"))->trigger();
    EXPECT_TRUE(offered.contains(QStringLiteral("TX NORTH (00:1A:2B:50:00:1F)")));
    EXPECT_FALSE(offered.contains(QStringLiteral("STUDIO A LR (00:1A:2B:50:00:15)")));
    pass(25000);
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_NE(dialogs.last().text.find("SFN additional delay: 1200 steps"), std::string::npos)
        << dialogs.last().text;
    EXPECT_EQ(unit.identity().name.substr(0, 11), "TX EAST SFN");
    EXPECT_EQ(unit.settings().additionalDelayNs, 120000);
    EXPECT_EQ(unit.settings().sfn, 1);
}

}  // namespace
}  // namespace nms::testing
