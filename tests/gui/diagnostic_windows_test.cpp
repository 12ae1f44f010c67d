// The statistics and SFN windows drawn over the main window: they open with their buttons, show
// what the element answered, and close through their models.

#include <gtest/gtest.h>

#include <QChart>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

#include "app/station_fixture.h"
#include "gui_support.h"
#include "protocol/delay.h"
#include "protocol/statistics.h"
#include "protocol/text.h"
#include "sfn/delay_chart.h"
#include "sfn/frm_adjust.h"
#include "stats/frm_statistics.h"
#include "ui/adjust_dialog.h"
#include "ui/chart_export.h"
#include "ui/delay_plot.h"
#include "ui/main_window.h"
#include "ui/statistics_dialog.h"

namespace nms::testing {
namespace {

constexpr const char* kPlant =
    "[00AA00000001]\nNAME=TX EAST SFN     \nROLE=2\nIP=192.168.1.91\nMASK=255.255.255.0\nGW=192.168.1.1\n"
    "TYPE=32\nTX=1\nVER=3.72\nATT=235\nMULTI=239.200.0.7\nBUF=6\nSDL=37\nSDT=43\nSDM=0\nSN=20231\nSFN=1\nLLO=0\nDLY=1200\n";

class DiagnosticWindows : public StationTest {
protected:
    std::unique_ptr<ui::MainWindow> window;
    void SetUp() override {
        start(std::string(kPlant));
        ASSERT_TRUE(main->running());
        window = std::make_unique<ui::MainWindow>(*main, gate);
        window->show();
        operatorDoes([&] { main->TreeView1.clickNode(0); });
        QApplication::processEvents();
    }
    QPushButton* button(const char* name) { return window->control<QPushButton>(name); }
};

TEST_F(DiagnosticWindows, TheStatisticsWindowShowsTheReplyAndReleasesItsPortOnClose) {
    auto* dialog = window->statisticsDialog();
    ASSERT_NE(dialog, nullptr);
    button("cmdGetStats")->click();
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "Status");
    ASSERT_FALSE(network.sent.empty());
    EXPECT_EQ(network.sent.back().port, 2978);

    protocol::StatisticsFields f;
    f.txFramesOk = 120000;
    f.rxFramesOk = 119000;
    f.rxFramesErr = 3;
    f.audioFramesOk = 118000;
    f.ptpSyncOk = 500;
    f.alarmWord = 0x8C00;  // a 10 MHz problem and no 1 PPS
    f.ethernetWord = 0x0100;  // link up, 100 Mbit/s half duplex
    network.deliver(2978, protocol::encodeStatistics(f, true), network.sent.back().host);
    QApplication::processEvents();
    auto* clock = dialog->findChild<QLabel*>("lblClock");
    ASSERT_NE(clock, nullptr);
    EXPECT_EQ(clock->palette().color(clock->backgroundRole()), QColor(255, 0, 0));
    EXPECT_EQ(dialog->findChild<QLabel*>("lblEthernet")->text(), " 100 Half ");
    EXPECT_TRUE(dialog->findChild<QLabel*>("lblOMAlarmsList")->isVisible());
    ASSERT_TRUE(dialog->grab().save(screenshotPath("statistics.png")));

    dialog->reject();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_FALSE(main->statistics().isOpen());
    EXPECT_EQ(main->statistics().udpClient2().state(), ports::UdpSocket::State::Closed);
}

TEST_F(DiagnosticWindows, TheSfnWindowPlotsEachReply) {
    auto* dialog = window->adjustDialog();
    ASSERT_NE(dialog, nullptr);
    button("cmdAdjust")->click();
    ASSERT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "SFN Adjustment - TX EAST SFN     ");  // the name as stored
    for (int i = 0; i < 30; ++i) {
        protocol::DelayReplyFields r;
        r.averageNs = 812000 + (i % 7) * 900;
        r.minimumNs = r.averageNs - 3500 - (i % 3) * 400;
        r.maximumNs = r.averageNs + 4100 + (i % 5) * 300;
        r.additionalNs = 120000;
        network.deliver(2978, protocol::encodeDelayReply(r), network.sent.back().host);
        time.advance(1000);
    }
    EXPECT_EQ(main->adjust().history.size(), 30u);
    dialog->plot()->refresh();
    QApplication::processEvents();
    EXPECT_EQ(dialog->findChild<QLabel*>("lblAdditionalDelay")->text(), "120 uS, 0 nS");
    ASSERT_TRUE(dialog->grab().save(screenshotPath("sfn-adjustment.png")));
    dialog->reject();
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(DiagnosticWindows, TheSfnPlotDrawsOneDelayAxisBreaksAtGapsAndExportsWhereAsked) {
    auto* dialog = window->adjustDialog();
    button("cmdAdjust")->click();
    auto reply = [&](std::int32_t averageNs) {
        protocol::DelayReplyFields r;
        r.averageNs = averageNs;
        r.minimumNs = averageNs - 2000;
        r.maximumNs = averageNs + 3000;
        network.deliver(2978, protocol::encodeDelayReply(r), network.sent.back().host);
    };
    const std::int64_t first = time.unixTimeMs();
    for (int i = 0; i < 5; ++i) {
        reply(812000 + i * 500);
        time.advance(1000);
    }
    time.advance(20000);  // no answer for twenty seconds, then one reply alone
    reply(815000);
    const std::int64_t last = time.unixTimeMs();
    dialog->plot()->refresh();

    QChart* chart = dialog->plot()->chart();
    ASSERT_EQ(chart->axes(Qt::Vertical).size(), 1);  // the latency summary on the delay axis
    EXPECT_EQ(chart->axes(Qt::Horizontal).size(), 1);
    EXPECT_TRUE(chart->localizeNumbers());
    QStringList legend;
    for (auto* marker : chart->legend()->markers())
        if (marker->isVisible()) legend << marker->label();
    EXPECT_TRUE(legend.contains("network latency, average")) << legend.join('|').toStdString();
    EXPECT_TRUE(legend.contains("latency summary, average")) << legend.join('|').toStdString();
    // The five joined replies are a line, the one after the gap a point of its own.
    int linePoints = 0, lonePoints = 0;
    for (auto* series : chart->series()) {
        if (auto* line = qobject_cast<QLineSeries*>(series);
            line && line->type() == QAbstractSeries::SeriesTypeLine &&
            line->name() == "network latency, average")
            linePoints += static_cast<int>(line->count());
        if (auto* points = qobject_cast<QScatterSeries*>(series)) lonePoints += points->count();
    }
    EXPECT_EQ(linePoints, 5);
    EXPECT_EQ(lonePoints, 5);  // minimum, maximum, average, additional delay, latency summary

    QTemporaryDir dir;
    const QString csv = dir.filePath("east.csv");
    dialogs.expectSaveFile(csv.toStdString());
    auto* exportButton = dialog->findChild<QPushButton*>("cmdExport");
    click(exportButton, exportButton->rect().center());
    QApplication::processEvents();
    ASSERT_EQ(dialogs.saveFilesShown().size(), 1u);
    // The documents folder, or home on an account without one.
    const QString documents = ui::exportStartFolder({});
    EXPECT_EQ(QString::fromStdString(dialogs.saveFilesShown()[0].proposed),
              QDir(documents).filePath(QString::fromStdString(
                  "sfn-delay-TX-EAST-SFN-" + protocol::text::isoUtcTime(last, false).substr(0, 10) +
                  ".csv")));
    ASSERT_TRUE(QFile::exists(csv));
    const QImage png(dir.filePath("east.png"));
    ASSERT_FALSE(png.isNull());
    EXPECT_EQ(png.text("Title").toStdString(), sfn::plotTitle("TX EAST SFN", first, last));
    EXPECT_GT(png.height(), dialog->plot()->height());  // the title stands over the plot
    auto* status = dialog->findChild<QLabel*>("lblStatus");
    // What the export said outlasts the next request.
    auto* refresh = dialog->findChild<QPushButton*>("cmdRefresh");
    click(refresh, refresh->rect().center());
    EXPECT_TRUE(status->text().contains(QDir::toNativeSeparators(csv)))
        << status->text().toStdString();
    ASSERT_TRUE(png.save(screenshotPath("sfn-adjustment-export.png")));

    // The next export opens where the last one wrote; one that cannot write says so.
    dialogs.expectSaveFile(dir.filePath("gone/east.csv").toStdString());
    dialogs.expect(ports::Answer::Ok, "Nothing was exported: ");
    click(exportButton, exportButton->rect().center());
    EXPECT_TRUE(
        QString::fromStdString(dialogs.saveFilesShown()[1].proposed).startsWith(dir.path()));
    EXPECT_TRUE(status->text().startsWith("Nothing was exported")) << status->text().toStdString();
    EXPECT_TRUE(dialogs.allUsed());
    dialog->reject();
}

}  // namespace
}  // namespace nms::testing

namespace nms::testing {
namespace {

TEST_F(DiagnosticWindows, TheDemoWindowSaysItDrivesASimulatedNetwork) {
    window->markSimulated();
    auto* mark = window->findChild<QLabel*>("simulatedNetwork");
    ASSERT_NE(mark, nullptr);
    EXPECT_EQ(mark->text(), "Simulated network");
    EXPECT_TRUE(mark->isVisible());
    // The title stays the station's own.
    EXPECT_EQ(window->windowTitle().toStdString(), main->caption.caption());
}

}  // namespace
}  // namespace nms::testing

#include <QAction>
#include <QTableWidget>
#include <QToolBar>

#include "monitor/memory_journal.h"
#include "monitor/plant_monitor.h"
#include "support/station_on_fakes.h"
#include "ui/monitor_view.h"

namespace nms::testing {
namespace {

TEST_F(DiagnosticWindows, MonitorPlantIsAToggleAndItsEventsFillThePanel) {
    auto* view = window->monitorView();
    ASSERT_NE(view, nullptr);
    auto* toggle = view->toggle();
    EXPECT_TRUE(window->control<QToolBar>("Toolbar1")->actions().contains(toggle));
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(main->plantMonitoring());
    toggle->trigger();
    EXPECT_TRUE(main->plantMonitoring());
    time.advance(1000);  // one cycle: the element does not answer on the fake network
    view->refresh();
    auto* table = view->findChild<QTableWidget*>("eventsTable");
    ASSERT_NE(table, nullptr);
    ASSERT_GE(table->rowCount(), 1);
    EXPECT_EQ(table->item(0, 3)->text(), "unknown → warning");
    EXPECT_NE(view->csv().indexOf("\"No reply to the last request.\""), -1) << view->csv().toStdString();
    QApplication::processEvents();
    ASSERT_TRUE(window->grab().save(screenshotPath("main-window-monitor.png")));
    toggle->trigger();
    EXPECT_FALSE(main->plantMonitoring());
    EXPECT_EQ(settings.getOr("Kestrova", "Vantrelo NG", "MonitorPlant", ""), "0");
}

// The view needs the monitor and its switch, not the main window.
TEST(MonitorViewAlone, ItsToggleRunsTheSwitchItWasGivenAsTheOperatorsEvent) {
    StationWorld world("/db/nms.ini");
    monitor::MemoryJournal journal;
    monitor::PlantMonitor plant(world.ctx, journal);
    std::vector<bool> switched;
    ui::MonitorView view(
        plant,
        [&](bool on) {
            switched.push_back(on);
            on ? plant.start() : plant.stop();
        },
        world.gate, nullptr, nullptr);
    EXPECT_FALSE(view.toggle()->isChecked());
    view.toggle()->trigger();
    EXPECT_TRUE(plant.running());
    view.toggle()->trigger();
    EXPECT_EQ(switched, (std::vector<bool>{true, false}));
    EXPECT_FALSE(plant.running());
}

// Cycles that change nothing in the journal cost it no read; what is appended goes on top, the
// newest first, without the rows shown being read again.
TEST(MonitorViewAlone, ReadsTheJournalOnlyWhenItGrewAndPutsWhatCameOnTop) {
    StationWorld world("/db/nms.ini");
    monitor::MemoryJournal journal;
    monitor::PlantMonitor plant(world.ctx, journal);
    ui::MonitorView view(
        plant, [&](bool on) { on ? plant.start() : plant.stop(); }, world.gate, nullptr, nullptr);
    auto* table = view.findChild<QTableWidget*>("eventsTable");
    ASSERT_NE(table, nullptr);
    auto event = [now = world.time.unixTimeMs()](std::int64_t at, const char* to) {
        return ports::JournalEvent{now + at, "00:1A:2B:00:00:01", "E1", "info", "health", "online", to, ""};
    };
    auto column = [&](int c) {
        QStringList cells;
        for (int r = 0; r < table->rowCount(); ++r) cells << table->item(r, c)->text();
        return cells.join(',').toStdString();
    };
    journal.append({event(1000, "a"), event(2000, "b")});
    view.follow();
    EXPECT_EQ(column(3), "online → b,online → a");

    view.toggle()->trigger();
    const int reads = journal.reads;
    const auto revision = plant.revision();
    for (int cycle = 0; cycle < 20; ++cycle) {
        world.time.advance(10000);
        view.follow();
    }
    EXPECT_GT(plant.revision(), revision + 10);
    EXPECT_EQ(journal.reads, reads);

    journal.append({event(3000, "c"), event(3000, "d")});
    journal.append({event(4000, "e")});
    view.follow();
    view.follow();
    EXPECT_EQ(journal.reads, reads + 1);
    EXPECT_EQ(column(3), "online → e,online → d,online → c,online → b,online → a");

    // The clock stepped back: what is written now is still news, on top.
    journal.append({event(500, "f")});
    view.follow();
    EXPECT_EQ(column(3).rfind("online → f,online → e,", 0), 0u) << column(3);
}

}  // namespace
}  // namespace nms::testing
