#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QToolBar>
#include <QTreeView>

#include <memory>

#include "app/frm_disclaimer.h"
#include "app/station_fixture.h"
#include "discovery/paging.h"
#include "gui_support.h"
#include "platform/qt_text.h"
#include "station/main_toolbar.h"
#include "station_window.h"
#include "ui/bindings.h"
#include "ui/level_bar.h"
#include "ui/main_window.h"
#include "ui/paging_dialog.h"
#include "ui/waiting_dialog.h"

namespace nms::testing {
namespace {

constexpr const char* kPlant =
    "[00AA00000001]\nNAME=STUDIO-RX     \nROLE=2\nIP=192.168.1.91\nMASK=255.255.255.0\nGW=192.168.1.1\n"
    "TYPE=2\nTX=1\nVER=3.71\nBOUND=1\nATT=235\nMULTI=239.192.0.7\nBUF=6\nSDL=37\nSDT=43\nSDM=0\nSN=20231\nSFN=1\nLLO=0\n"
    "[00AA00000002]\nNAME=STUDIO-TX     \nROLE=1\nIP=192.168.1.90\nMASK=255.255.255.0\nGW=192.168.1.1\n"
    "INPUT=1\nTYPE=2\nTX=0\nVER=3.71\nATT=231\nREMOTE=192.168.1.91\nMULTI=239.192.0.7\nSN=20230\nSFN=0\nLLO=0\n"
    "[00AA00000003]\nNAME=MPX-TX        \nROLE=1\nIP=192.168.1.92\nMASK=255.255.255.0\nGW=192.168.1.1\n"
    "INPUT=0\nTYPE=8\nTX=1\nVER=3.80\nATT=255\nMULTI=239.200.1.5\nSN=20232\nSFN=0\nLLO=0\n";

class MainWindowTest : public StationWindowTest {
protected:
    void open(const std::string& database = kPlant) { StationWindowTest::open(database, false); }
    void shoot(const QString& name) {
        QApplication::processEvents();
        const QString path = screenshotPath(name);
        ASSERT_TRUE(window->grab().save(path)) << path.toStdString();
    }
    QString q(const std::string& s) { return platform::fromModel(s); }
    // Colours compared as an enabled widget shows them (a disabled one greys the system colours).
    QPalette active() const {
        QPalette palette = window->palette();
        palette.setCurrentColorGroup(QPalette::Active);
        return palette;
    }

    // The widget drawn for `c`: there, enabled, shown and with the tool tip as the model says.
    void expectDrawn(QWidget* w, const ports::Control& c) {
        ASSERT_NE(w, nullptr) << c.name();
        EXPECT_EQ(w->isEnabled(), c.enabled()) << c.name();
        EXPECT_EQ(!w->isHidden(), c.visible()) << c.name();
        EXPECT_EQ(w->toolTip(), q(c.toolTip())) << c.name();
    }
    // The widget of each of `models` drawn, then compared with its model by `shows`.
    template <class W, class M, class Shows>
    void expectEachDrawn(std::initializer_list<M*> models, Shows shows) {
        for (M* m : models) {
            auto* w = window->control<W>(m->name().c_str());
            expectDrawn(w, *m);
            if (w) shows(*w, *m);
        }
    }

    // Every control of the right-hand side is drawn, and shows what its model holds.
    void expectPanelMirrorsModel() {
        auto& p = main->panel;
        expectEachDrawn<QLabel>(
            {&p.lblCapElementType, &p.lblElementType, &p.lblCapElementMAC, &p.lblElementMAC, &p.lblCapSerialNumber,
             &p.lblSerialNumber, &p.lblCapVersion, &p.lblVersion, &p.lblCapElementName, &p.lblCapElementIP,
             &p.lblCapElementMask, &p.lblCapElementGW, &p.lblCapVLAN, &p.lblCapVLANAudio, &p.lblCapVLANOM, &p.Label9,
             &p.lblCapAudioType, &p.lblCapCompression, &p.lblCapNarrowBand, &p.Label10, &p.Label7, &p.Label27,
             &p.lblCapEncoders, &p.Label16, &p.lblAttenDB, &p.Label20, &p.lblLatency, &p.Label22, &p.Label24,
             &p.lblSilDetLevel, &p.Label26, &p.lblSilDetTime, &p.lblCapSFN, &p.lblCapLowLatency, &p.lblCapUploadFW,
             &p.lblCapPing, &p.lblCapVolume, &p.lblVolume, &p.lblCapStats, &p.lblCapAdjust},
            [&](QLabel& w, ports::Label& l) {
                // A caption with an access key reads as written, one letter underlined.
                EXPECT_EQ(w.buddy() ? withoutAccessKey(w.text()) : w.text(), q(l.caption())) << l.name();
            });
        for (ports::Label* frame : {&p.frmProperties, &p.frmDiagnostics}) {
            auto* w = window->control<QGroupBox>(frame->name().c_str());
            ASSERT_NE(w, nullptr) << frame->name();
            // Unsaved edits add a note after the caption, never change it.
            QString title = withoutAccessKey(w->title());
            title.remove(QStringLiteral(" (modified)"));
            EXPECT_EQ(title, q(frame->caption()));
        }
        expectEachDrawn<QLineEdit>({&p.txtElementName, &p.txtElementIP, &p.txtElementMask, &p.txtElementGW,
                                    &p.txtVLAN_Audio, &p.txtVLAN_OM, &p.txtRemoteIP, &p.txtAES67Channel},
                                   [&](QLineEdit& w, ports::TextBox& t) {
                                       EXPECT_EQ(w.text(), q(t.text())) << t.name();
                                       EXPECT_EQ(w.palette().color(QPalette::Active, QPalette::Base),
                                                 ui::colorOf(t.backColor(), active()))
                                           << t.name();
                                   });
        expectEachDrawn<QComboBox>(
            {&p.cmbAudioInput, &p.cmbAudioType, &p.cmbAudioTX, &p.cmbEncoders, &p.cmbSilDetMode},
            [](QComboBox& w, ports::ListControl& l) {
                EXPECT_EQ(w.count(), l.listCount()) << l.name();
                EXPECT_EQ(w.currentIndex(), l.listIndex()) << l.name();
            });
        expectEachDrawn<QCheckBox>(
            {&p.chkEnableFLAC, &p.chkNarrowBand, &p.chkSFNEnabled, &p.chkLowLatency, &p.chkGetVolume},
            [&](QCheckBox& w, ports::CheckBox& c) {
                EXPECT_EQ(w.isChecked(), c.checked()) << c.name();
                EXPECT_EQ(w.text(), q(c.caption())) << c.name();
            });
        expectEachDrawn<QScrollBar>({&p.scrlAtten, &p.scrlBuffer, &p.scrlSilDetLevel, &p.scrlSilDetTime},
                                    [](QScrollBar& w, ports::ScrollBar& s) {
                                        EXPECT_EQ(w.value(), s.value()) << s.name();
                                        EXPECT_EQ(w.minimum(), s.min()) << s.name();
                                        EXPECT_EQ(w.maximum(), s.max()) << s.name();
                                    });
        expectEachDrawn<QPushButton>({&p.cmdBrowseFW, &p.cmdPing, &p.cmdGetStats, &p.cmdAdjust},
                                     [&](QPushButton& w, ports::Button& b) {
                                         EXPECT_EQ(w.text(), q(b.caption())) << b.name();
                                         EXPECT_EQ(w.palette().color(QPalette::Active, QPalette::Button),
                                                   ui::colorOf(b.backColor(), active()))
                                             << b.name();
                                     });
        auto* meter = window->control<ui::LevelBar>("VUMeter");
        expectDrawn(meter, p.VUMeter);
        if (meter) {
            EXPECT_EQ(meter->visibleWidth(), std::min(140, p.VUMeter.width() / 15));
        }
    }
};

TEST_F(MainWindowTest, TheWindowShowsTheStationAfterStartUp) {
    open();
    EXPECT_EQ(window->windowTitle(), "Vantrelo NG NMS v.3.7.8 - Kestrova Broadcast");
    EXPECT_EQ(window->windowTitle(), q(main->caption.caption()));
    EXPECT_EQ(window->size(), QSize(1280, 800));

    auto* toolbar = window->control<QToolBar>("Toolbar1");
    ASSERT_NE(toolbar, nullptr);
    const auto actions = toolbar->actions();
    ASSERT_GE(actions.size(), 7);
    const QStringList tips{"Discover elements", "Refresh list", "", "Save changes", "", "Start audio monitoring",
                           "Stop audio monitoring"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(actions[i]->isSeparator(), i == 2 || i == 4) << i;
        if (!actions[i]->isSeparator()) {
            EXPECT_EQ(actions[i]->toolTip(), tips[i]) << i;
        }
    }
    EXPECT_FALSE(actions[5]->isEnabled());
    EXPECT_FALSE(actions[6]->isEnabled());

    auto* frame = window->control<QGroupBox>("frmTreeView");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(withoutAccessKey(frame->title()), "Select element: (3 items)");
    auto* tree = window->control<QTreeView>("TreeView1");
    ASSERT_EQ(tree->model()->rowCount(), 3);
    EXPECT_EQ(tree->model()->index(0, 0).data().toString(), q(main->TreeView1.nodes()[0].text));

    auto* interfaces = window->control<QComboBox>("cmbNMSIPAddr");
    ASSERT_NE(interfaces, nullptr);
    EXPECT_EQ(interfaces->count(), main->cmbNMSIPAddr.listCount());
    EXPECT_EQ(withoutAccessKey(window->control<QLabel>("lblNMSIPAddr")->text()),
              q(main->lblNMSIPAddr.caption()));

    expectPanelMirrorsModel();
    EXPECT_TRUE(window->panelInTwoColumns());
    shoot("main_window.png");
}

TEST_F(MainWindowTest, ClickingAnEncoderAndADecoderShowsTheirLayouts) {
    open();
    clickNode(1);
    EXPECT_EQ(main->panel.lblElementType.caption(), "ENCODER");
    EXPECT_EQ(main->TreeView1.selectedIndex(), 1);
    expectPanelMirrorsModel();
    auto* start =
        window->control<QToolBar>("Toolbar1")->actions()[station::toolbar::kStartMonitoring - 1];
    EXPECT_TRUE(start->isEnabled());
    shoot("main_window_encoder.png");

    // A live level, as the meter would draw it.
    start->trigger();
    main->panel.VUMeter.setWidth(95 * 15);
    main->panel.lblVolume.setCaption("-9.6dBFS");
    expectPanelMirrorsModel();
    shoot("main_window_encoder_monitoring.png");

    clickNode(0);
    EXPECT_EQ(main->panel.lblElementType.caption(), "DECODER");
    expectPanelMirrorsModel();
    shoot("main_window_decoder.png");

    clickNode(2);  // an AES67-less MPX encoder on multicast
    expectPanelMirrorsModel();
}

TEST_F(MainWindowTest, OperatorEditsInThePanelReachTheEditorsRules) {
    open();
    clickNode(0);
    auto* ip = window->control<QLineEdit>("txtElementIP");
    ip->selectAll();
    typeText(ip, "192.168.1.");
    EXPECT_EQ(main->panel.txtElementIP.text(), "192.168.1.");
    // The editor's colour rule answered, and the widget shows it.
    EXPECT_EQ(ip->palette().color(QPalette::Base), QColor(255, 128, 128));
    EXPECT_FALSE(window->control<QPushButton>("cmdGetStats")->isEnabled());
    typeText(ip, "7");
    EXPECT_TRUE(window->control<QPushButton>("cmdGetStats")->isEnabled());

    auto* routing = window->control<QComboBox>("cmbSilDetMode");
    emit routing->activated(3);  // "On packet loss!"
    EXPECT_FALSE(window->control<QScrollBar>("scrlSilDetLevel")->isEnabled());
    EXPECT_TRUE(window->control<QScrollBar>("scrlSilDetTime")->isEnabled());
    expectPanelMirrorsModel();
}

TEST_F(MainWindowTest, TheLayoutStaysUsableWhenTheWindowIsSmall) {
    open();
    window->resize(900, 560);
    QApplication::processEvents();
    auto* scroll = window->findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    // The rows go one above the other rather than off the side, and the panel scrolls down
    // rather than squashing them.
    EXPECT_FALSE(window->panelInTwoColumns());
    EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
    EXPECT_GE(scroll->widget()->height(), scroll->widget()->minimumSizeHint().height());
    EXPECT_GT(window->splitter()->sizes().at(0), 200);
    shoot("main_window_small.png");

    window->resize(1280, 800);
    QApplication::processEvents();
    EXPECT_TRUE(window->panelInTwoColumns());

    // The start-up notice as narrow as it goes (a scaled or small screen): every line of its
    // text and its box's whole caption still show.
    gate.dispatch(ports::EventGate::Kind::Operator, [&] { main->disclaimer().open([] {}); });
    QApplication::processEvents();
    auto* notice = window->findChild<ui::DisclaimerDialog*>();
    ASSERT_NE(notice, nullptr);
    notice->resize(notice->minimumWidth(), 10);
    QApplication::processEvents();
    for (auto* label : notice->findChildren<QLabel*>()) {
        if (!label->wordWrap()) continue;
        EXPECT_GE(label->height(), label->heightForWidth(label->width()))
            << label->text().toStdString();
    }
    auto* agree = notice->findChild<QCheckBox*>();
    ASSERT_NE(agree, nullptr);
    EXPECT_GE(agree->width(), agree->sizeHint().width());
    gate.dispatch(ports::EventGate::Kind::Operator, [&] { main->disclaimer().cmdClose_Click(); });
}

TEST_F(MainWindowTest, TheWindowsOverTheMainOneAreBuiltWhenTheyFirstOpen) {
    open();
    EXPECT_EQ(window->findChild<ui::PagingDialog*>(), nullptr);
    EXPECT_EQ(window->findChild<ui::DisclaimerDialog*>(), nullptr);
    dialogs.expect(ports::Answer::Yes, "Performing an 'Auto Discovery'");
    window->control<QToolBar>("Toolbar1")->actions()[station::toolbar::kDiscover - 1]->trigger();
    ASSERT_TRUE(main->paging().frmPaging.shown());
    auto* dialog = window->findChild<ui::PagingDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog, window->pagingDialog());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->lblTimeout()->text(), "6");
    dialogs.allowUnexpected = true;
    time.advance(6000);
    EXPECT_FALSE(main->paging().frmPaging.shown());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(window->findChildren<ui::PagingDialog*>().size(), 1);
}

TEST_F(MainWindowTest, ThePagingWindowFollowsTheScan) {
    open();
    auto* dialog = window->pagingDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->isVisible());
    dialogs.expect(ports::Answer::Yes, "Performing an 'Auto Discovery'");
    window->control<QToolBar>("Toolbar1")->actions()[station::toolbar::kDiscover - 1]->trigger();
    ASSERT_TRUE(main->paging().frmPaging.shown());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "Paging network...");
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->lblTimeout()->text(), "6");
    EXPECT_EQ(dialog->cmdChangeTimeout()->text(), "Change...");
    QApplication::processEvents();
    ASSERT_TRUE(dialog->grab().save(screenshotPath("paging.png")));

    time.advance(1000);
    EXPECT_EQ(dialog->lblTimeout()->text(), "5");

    // "Change..." asks the model, which asks for the new time.
    dialogs.expectInput(std::string("10"));
    dialog->cmdChangeTimeout()->click();
    EXPECT_EQ(dialog->lblTimeout()->text(), "10");

    // Closed by hand: the model ends the scan, and only then does the window go.
    dialogs.allowUnexpected = true;  // the rebuilt, empty database says so
    dialog->close();
    EXPECT_FALSE(main->paging().frmPaging.shown());
    EXPECT_FALSE(main->AutoDiscoverAwaiting);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(MainWindowTest, TheWaitWindowOpensAndClosesWithTheMacWait) {
    open();
    auto* dialog = window->waitingDialog();
    ASSERT_NE(dialog, nullptr);
    auto& waiting = main->waiting();
    bool closed = false;
    operatorDoes([&] { waiting.open(20, [&] { closed = true; }); });
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), "Waiting remote response...");
    EXPECT_EQ(dialog->lblWaitTimeout()->text(), "Please wait while retrieving response from remote element....");
    QApplication::processEvents();
    ASSERT_TRUE(dialog->grab().save(screenshotPath("waiting.png")));

    dialog->reject();  // Escape
    EXPECT_TRUE(closed);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(main->waiting().getMACTimeoutCount(), 0);
}

}  // namespace
}  // namespace nms::testing

#include <QDateTime>
#include <QFile>
#include <QHeaderView>
#include <QLocale>
#include <QTableWidget>
#include <QTemporaryDir>

#include "monitor/plant_monitor.h"
#include "ui/monitor_view.h"
#include "ui/window_layout.h"

namespace nms::testing {
namespace {

// The Events panel as an operator on shift uses it: the severity chosen with the keyboard, an
// event clicked and read whole beside the table, its element acknowledged, what the filters show
// exported where the save dialog says, and a dozen rows in sight at 1280x800.
TEST_F(MainWindowTest, TheEventsPanelFiltersShowsAcknowledgesAndExportsWhatItShows) {
    settings.set("Kestrova", "Vantrelo NG", "EventTimesUtc", "1");
    open();
    window->resize(1280, 800);
    auto* view = window->monitorView();
    ASSERT_NE(view, nullptr);
    auto& monitor = main->plantMonitor();
    view->toggle()->trigger();
    time.advance(31000);  // nobody answers on the fake network: warnings, then offline
    ASSERT_EQ(monitor.elements().front().health, monitor::Health::Offline);
    const std::string why(300, 'w');
    const std::string markup = "ÉMET \"N\" <B>X</B";  // a name that looks like markup
    const std::string firstMac = monitor.elements().front().mac;
    ASSERT_TRUE(monitor.journal().append(
        {{time.unixTimeMs(), firstMac, markup, "info", "level", "-10 dB", "-12 dB", why}}));
    view->refresh();
    QApplication::processEvents();
    auto* table = view->findChild<QTableWidget*>("eventsTable");
    ASSERT_NE(table, nullptr);
    using V = ui::MonitorView;

    // A reason longer than its column ends in "…" on one line; the whole of it is its tool tip.
    EXPECT_EQ(table->item(0, V::kChange)->text(), "-10 dB → -12 dB");
    EXPECT_EQ(tipAsShown(table->item(0, V::kWhy)->toolTip()).toStdString(), why);
    EXPECT_EQ(table->item(0, V::kElement)->text(), q(markup));
    // In a narrow panel the element and what happened stay whole; "Why" gives way, not they.
    window->resize(820, 600);
    QApplication::processEvents();
    for (const int c : {V::kElement, V::kWhat})
        EXPECT_GE(table->columnWidth(c),
                  table->sizeHintForIndex(table->model()->index(0, c)).width())
            << c;
    window->resize(1280, 800);
    QApplication::processEvents();
    EXPECT_EQ(tipAsShown(table->item(0, V::kElement)->toolTip()),
              q(markup + " [" + firstMac + "]"));
    EXPECT_FALSE(table->wordWrap());
    // UTC as the setting says at start; else local time in the cell, UTC in its tool tip.
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(time.unixTimeMs());
    EXPECT_TRUE(view->timesInUtc());
    EXPECT_EQ(table->horizontalHeaderItem(V::kTime)->text(), "Time (UTC)");
    EXPECT_EQ(table->item(0, V::kTime)->text(), now.toUTC().toString(Qt::ISODate));
    view->setTimesInUtc(false);
    EXPECT_EQ(table->horizontalHeaderItem(V::kTime)->text(), "Time");
    EXPECT_EQ(table->item(0, V::kTime)->toolTip(), now.toUTC().toString(Qt::ISODate));
    EXPECT_TRUE(table->item(0, V::kTime)->text().contains(now.toString("ss")))
        << table->item(0, V::kTime)->text().toStdString();
    EXPECT_TRUE(table->item(0, V::kTime)
                    ->text()
                    .contains(QLocale().toString(now.date(), QLocale::ShortFormat)));

    // At least a warning: the operator's level change goes, the health changes stay.
    const int all = table->rowCount();
    auto* severity = view->findChild<QComboBox*>("eventsSeverity");
    severity->setFocus();
    pressKey(severity, Qt::Key_Down);
    QApplication::processEvents();
    EXPECT_EQ(severity->currentText(), "Warning or worse");
    ASSERT_EQ(table->rowCount(), all - 1);
    for (int r = 0; r < table->rowCount(); ++r)
        EXPECT_EQ(table->item(r, V::kWhat)->text(), "health");
    const QColor red(0xd0, 0x20, 0x20);
    EXPECT_EQ(table->item(0, V::kChange)->text(), "warning → offline");
    EXPECT_EQ(table->item(0, V::kWhat)->foreground().color(), red);
    std::string mac, name;
    for (const auto& e : monitor.elements())
        if (q(e.name) == table->item(0, V::kElement)->text()) mac = e.mac, name = e.name;
    ASSERT_FALSE(mac.empty());

    // The event clicked, whole in the pane; its element, offline, can be acknowledged.
    auto* details = view->findChild<QLabel*>("eventDetails");
    auto* acknowledge = view->findChild<QPushButton*>("cmdAcknowledgeEvent");
    EXPECT_FALSE(acknowledge->isEnabled());
    click(table->viewport(), table->visualRect(table->model()->index(0, V::kWhy)).center());
    QApplication::processEvents();
    for (const std::string& part : {name, mac, std::string("offline"), std::string("alarm"),
                                    std::string("UTC"), std::string("Local time")})
        EXPECT_TRUE(details->text().contains(q(part)))
            << part << ": " << details->text().toStdString();
    ASSERT_TRUE(acknowledge->isEnabled());
    click(acknowledge, acknowledge->rect().center());
    QApplication::processEvents();
    EXPECT_TRUE(monitor.find(mac)->acknowledged);
    EXPECT_FALSE(acknowledge->isEnabled());
    EXPECT_NE(table->item(table->rowCount() - 1, V::kWhat)->foreground().color(), red);
    EXPECT_TRUE(details->text().contains("acknowledged by")) << details->text().toStdString();

    // The export writes every row the filters show, where the dialog says, and says so.
    QTemporaryDir folder;
    const QString path = folder.filePath("shift.csv");
    dialogs.expectSaveFile(path.toStdString());
    auto* exportButton = view->findChild<QPushButton*>("cmdExportEvents");
    click(exportButton, exportButton->rect().center());
    QApplication::processEvents();
    ASSERT_EQ(dialogs.saveFilesShown().size(), 1u);
    const QString proposed = q(dialogs.saveFilesShown().back().proposed);
    EXPECT_TRUE(proposed.endsWith("/nms-events-" + now.date().toString(Qt::ISODate) + ".csv"))
        << proposed.toStdString();
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QString csv = QString::fromUtf8(written.readAll());
    EXPECT_EQ(csv.count("\r\n"), 1 + table->rowCount()) << csv.toStdString();
    EXPECT_FALSE(csv.contains("\"level\""));
    auto* note = view->findChild<QLabel*>("eventsNote");
    EXPECT_EQ(note->text(),
              QStringLiteral("Exported %1 events to %2").arg(table->rowCount()).arg(path));
    EXPECT_EQ(settings.getOr("Kestrova", "Vantrelo NG", "EventsExportFolder", ""),
              folder.path().toStdString());
    // The next export starts there; a file that cannot be made is said.
    dialogs.expectSaveFile(folder.filePath("no/such/folder.csv").toStdString());
    click(exportButton, exportButton->rect().center());
    EXPECT_TRUE(q(dialogs.saveFilesShown().back().proposed).startsWith(folder.path()));
    EXPECT_TRUE(note->text().startsWith("Could not export the events to " +
                                        folder.filePath("no/such/folder.csv")))
        << note->text().toStdString();
    // Nor is a disk that refuses the rows silent, nor is its folder remembered.
    if (QFile::exists("/dev/full")) {
        dialogs.expectSaveFile("/dev/full");
        click(exportButton, exportButton->rect().center());
        EXPECT_TRUE(note->text().startsWith("Could not write the events to /dev/full: "))
            << note->text().toStdString();
        EXPECT_EQ(settings.getOr("Kestrova", "Vantrelo NG", "EventsExportFolder", ""),
                  folder.path().toStdString());
    }
    EXPECT_TRUE(dialogs.allUsed());

    // A dozen rows in sight at 1280x800, the split remembered with the window's layout.
    QApplication::processEvents();
    EXPECT_GE(table->viewport()->height() / table->verticalHeader()->defaultSectionSize(), 10);
    shoot("events-panel.png");
    auto* panes = window->findChild<QSplitter*>("eventsPaneSplitter");
    ASSERT_NE(panes, nullptr);
    window->useLayout(folder.filePath("window.ini"));
    const int total = panes->sizes()[0] + panes->sizes()[1];
    panes->setSizes({total - 500, 500});
    const auto moved = panes->sizes();
    const int wide = view->splitter()->sizes()[0] + view->splitter()->sizes()[1];
    view->splitter()->setSizes({wide - 300, 300});
    const auto beside = view->splitter()->sizes();
    window->saveLayout();
    panes->setSizes({total - 300, 300});
    view->splitter()->setSizes({wide - 200, 200});
    window->useLayout(folder.filePath("window.ini"));
    EXPECT_EQ(panes->sizes(), moved);
    EXPECT_EQ(view->splitter()->sizes(), beside);
}

}  // namespace
}  // namespace nms::testing
