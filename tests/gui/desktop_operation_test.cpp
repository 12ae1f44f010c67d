// Operating the main window as a desktop program: the wheel, the keyboard (Tab, access keys,
// shortcuts), the menus, help and About.

#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QMessageBox>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>

#include <functional>

#include "monitor/plant_monitor.h"
#include "runtime/web_status.h"
#include "station/settings_keys.h"
#include "station_window.h"
#include "ui/about_dialog.h"
#include "ui/adjust_dialog.h"
#include "ui/help_window.h"
#include "ui/plant_windows.h"
#include "ui/sfn_overview_window.h"
#include "ui/statistics_dialog.h"
#include "ui/web_status_switch.h"

namespace nms::testing {
namespace {

class DesktopOperation : public StationWindowTest {
protected:
    // One notch of the wheel over the middle of a widget.
    static void wheel(QWidget* target) {
        const QPointF at(target->width() / 2.0, target->height() / 2.0);
        QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
        QApplication::processEvents();
    }
    QAction* item(const char* name) {
        QAction* action = window->menuAction(QLatin1String(name));
        EXPECT_NE(action, nullptr) << name;
        return action;
    }
};

TEST_F(DesktopOperation, TheWheelMovesTheAudioLevelAndListsOnlyWithTheFocus) {
    open();
    clickNode(0);               // a decoder: its level goes on air at once
    window->resize(1000, 420);  // the form is taller than the window and scrolls
    QApplication::processEvents();
    auto* atten = window->control<QScrollBar>("scrlAtten");
    auto* routing = window->control<QComboBox>("cmbSilDetMode");
    auto* form = window->findChild<QScrollArea*>()->verticalScrollBar();
    ASSERT_TRUE(atten && routing && atten->isEnabled() && routing->isEnabled());
    ASSERT_GT(form->maximum(), 0);
    const int level = main->panel.scrlAtten.value();
    const int mode = main->panel.cmbSilDetMode.listIndex();
    network.sent.clear();

    // Passing over the controls on the way down: the form scrolls, nothing changes or is sent.
    ASSERT_FALSE(atten->hasFocus());
    const int scrolled = form->value();
    wheel(atten);
    wheel(routing);
    EXPECT_EQ(main->panel.scrlAtten.value(), level);
    EXPECT_EQ(main->panel.cmbSilDetMode.listIndex(), mode);
    EXPECT_TRUE(network.sent.empty());
    EXPECT_GT(form->value(), scrolled);
    EXPECT_FALSE(atten->hasFocus()) << "the wheel gave the focus";

    // With the focus the wheel is the operator's: the level changes and is sent at once.
    atten->setFocus(Qt::TabFocusReason);
    wheel(atten);
    EXPECT_NE(main->panel.scrlAtten.value(), level);
    ASSERT_EQ(network.sent.size(), 1u);
    EXPECT_EQ(network.sent.back().bytes.size(), 2u);

    // So is a key: one step, sent as the operator's change.
    const int before = main->panel.scrlAtten.value();
    network.sent.clear();
    pressKey(atten, Qt::Key_Right);
    EXPECT_EQ(main->panel.scrlAtten.value(), before + main->panel.scrlAtten.smallChange);
    EXPECT_EQ(network.sent.size(), 1u);
    EXPECT_EQ(read("00AA00000001", "att"), std::to_string(main->panel.scrlAtten.value()));
}

TEST_F(DesktopOperation, TabReachesEveryControlInReadingOrder) {
    open();
    clickNode(0);
    auto* first = window->control<QWidget>("cmbNMSIPAddr");
    first->setFocus(Qt::TabFocusReason);
    QStringList visited{first->objectName()};
    for (int i = 0; i < 60; ++i) {
        pressKey(QApplication::focusWidget(), Qt::Key_Tab);
        QWidget* now = QApplication::focusWidget();
        ASSERT_NE(now, nullptr);
        if (now == first) break;
        visited << now->objectName();
    }
    // The decoder's enabled controls: the list of interfaces and of elements, the left column of
    // the properties, the right one, the level rows, the silence detector, the diagnostics, the
    // events.
    const QStringList expected{
        "cmbNMSIPAddr",    "TreeView1",      "txtElementName", "txtElementIP", "txtElementMask",
        "txtElementGW",    "cmbAudioType",   "chkNarrowBand",  "txtRemoteIP",  "cmbEncoders",
        "chkSFNEnabled",   "chkLowLatency",  "scrlAtten",      "scrlBuffer",   "cmbSilDetMode",
        "scrlSilDetLevel", "scrlSilDetTime", "cmdPing",        "cmdGetStats",  "cmdAdjust",
        // The plant monitor's events under the diagnostics.
        "eventsElement",   "eventsSeverity", "cmdExportEvents", "eventsTable",
    };
    EXPECT_EQ(visited, expected);
}

TEST_F(DesktopOperation, EveryListAndButtonHasAUniqueAccessKey) {
    open();
    clickNode(0);
    QSet<int> keys;
    auto take = [&keys](const QString& text, const QString& owner) {
        const QKeySequence key = QKeySequence::mnemonic(text);
        EXPECT_FALSE(key.isEmpty()) << owner.toStdString() << ": " << text.toStdString();
        if (key.isEmpty()) return;
        EXPECT_FALSE(keys.contains(key[0].toCombined())) << "twice: " << text.toStdString();
        keys.insert(key[0].toCombined());
    };
    for (QAction* menu : window->menuBar()->actions()) take(menu->text(), menu->objectName());
    take(window->control<QGroupBox>("frmTreeView")->title(), "TreeView1");
    QList<QWidget*> targets;
    for (auto* list : window->findChildren<QComboBox*>()) targets << list;
    for (auto* button : window->findChildren<QPushButton*>()) {
        // The firmware row is shown but never enabled.
        if (button->objectName() != QLatin1String("cmdBrowseFW") &&
            button->window() == window.get())
            targets << button;
    }
    // The events panel's filters and export are reached with Tab: the window's letters are spent.
    auto* events = window->findChild<QWidget*>("monitorEvents");
    for (QWidget* target : targets) {
        if (target->window() != window.get()) continue;
        if (events && events->isAncestorOf(target)) continue;
        QLabel* caption = nullptr;
        for (auto* label : window->findChildren<QLabel*>()) {
            if (label->buddy() == target) caption = label;
        }
        // A button that says its own access key needs no caption beside it.
        auto* button = qobject_cast<QPushButton*>(target);
        if (!caption && button && !QKeySequence::mnemonic(button->text()).isEmpty()) {
            take(button->text(), target->objectName());
            continue;
        }
        ASSERT_NE(caption, nullptr) << target->objectName().toStdString();
        take(caption->text(), target->objectName());
    }
    // Other captions with keys take none of those.
    for (auto* label : window->findChildren<QLabel*>()) {
        if (label->buddy() && !targets.contains(label->buddy()))
            take(label->text(), label->objectName());
    }

    // Alt and the key move to the field.
    press(QKeySequence(Qt::ALT | Qt::Key_R));
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "cmbSilDetMode");
}

TEST_F(DesktopOperation, TheMenusRepeatTheToolbarWithItsShortcutsAndStates) {
    open();
    const QStringList menus{"&Station", "&Element", "&Help"};
    QStringList titles;
    for (QAction* menu : window->menuBar()->actions()) titles << menu->text();
    EXPECT_EQ(titles, menus);
    EXPECT_EQ(item("actionDiscover")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_D));
    EXPECT_EQ(item("actionRefresh")->shortcut(), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(item("actionSave")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(item("actionQuit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(item("actionHelp")->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(withoutAccessKey(item("actionDiscover")->text()), "Discover elements");

    // Enabled as the toolbar's buttons and the panel's buttons are.
    EXPECT_FALSE(item("actionStartMonitoring")->isEnabled());
    EXPECT_FALSE(item("actionStopMonitoring")->isEnabled());
    auto* ping = window->control<QPushButton>("cmdPing");
    EXPECT_EQ(item("actionPing")->isEnabled(), ping->isEnabled());
    clickNode(1);  // an encoder
    EXPECT_TRUE(item("actionStartMonitoring")->isEnabled());
    EXPECT_EQ(item("actionPing")->isEnabled(), ping->isEnabled());
    EXPECT_EQ(item("actionStatistics")->isEnabled(),
              window->control<QPushButton>("cmdGetStats")->isEnabled());

    // Ctrl+M starts the level meter, and again stops it.
    press(QKeySequence(Qt::CTRL | Qt::Key_M));
    EXPECT_TRUE(main->panel.chkGetVolume.checked());
    EXPECT_FALSE(item("actionStartMonitoring")->isEnabled());
    EXPECT_TRUE(item("actionStopMonitoring")->isEnabled());
    press(QKeySequence(Qt::CTRL | Qt::Key_M));
    EXPECT_FALSE(main->panel.chkGetVolume.checked());

    // Ctrl+S runs the save flow: its confirmation, here refused.
    dialogs.expect(ports::Answer::No, "This configuration will be sent");
    press(QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_TRUE(dialogs.allUsed());

    // F5 rebuilds the list and clears the panel.
    press(QKeySequence(Qt::Key_F5));
    EXPECT_EQ(main->panel.lblElementMAC.caption(), "-");
    EXPECT_EQ(main->TreeView1.nodeCount(), 3);

    // Ctrl+D asks before a discovery, as the toolbar does, even while typing in a field.
    clickNode(0);
    auto* name = window->control<QLineEdit>("txtElementName");
    name->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(name->hasFocus());
    const QString typed = name->text();
    dialogs.expect(ports::Answer::No, "Performing an 'Auto Discovery'");
    press(QKeySequence(Qt::CTRL | Qt::Key_D));
    EXPECT_TRUE(dialogs.allUsed());
    EXPECT_FALSE(main->AutoDiscoverAwaiting);
    EXPECT_EQ(name->text(), typed);

    // F1 opens the operating instructions beside the window.
    press(QKeySequence(Qt::Key_F1));
    ASSERT_NE(window->helpWindow(), nullptr);
    EXPECT_TRUE(window->helpWindow()->isVisible());
    EXPECT_FALSE(window->helpWindow()->isModal());
    const QString help = window->helpWindow()->browser()->toPlainText();
    EXPECT_TRUE(help.contains("Operating the station")) << help.left(200).toStdString();
    EXPECT_TRUE(help.contains("Ctrl+D"));
    ASSERT_TRUE(window->helpWindow()->grab().save(screenshotPath("help.png")));

    // Ctrl+Q closes the station's window.
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    press(QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_FALSE(window->isVisible());
}

// F1 in any window opens the help with that window's section at the top: one table, the window
// or panel with the focus and the heading it leads to.
TEST_F(DesktopOperation, F1OpensTheHelpAtTheSectionOfTheWindowWithTheFocus) {
    open();
    clickNode(0);  // a decoder with SFN: every window opens for it
    auto helpAtTop = [this](QWidget* target) -> QString {
        QWidget* w = target->window();
        w->activateWindow();
        QApplication::setActiveWindow(w);
        target->setFocus(Qt::OtherFocusReason);
        pressKey(target, Qt::Key_F1);
        QApplication::processEvents();
        auto* help = window->helpWindow();
        if (!help || !help->isVisible()) return QStringLiteral("(no help)");
        // The heading is the text's first line, and the contents say so.
        const QString top = help->browser()->cursorForPosition(QPoint(20, 8)).block().text();
        EXPECT_EQ(help->headingAtTop(), top);
        const auto* chosen = help->contents()->currentItem();
        EXPECT_EQ(chosen ? chosen->text().trimmed() : QString(), top);
        return top;
    };
    struct Case {
        const char* where;
        std::function<QWidget*()> focus;
        std::function<void()> close;
        const char* heading;
    };
    auto in = [this](QWidget* dialog, const char* name) -> QWidget* {
        EXPECT_TRUE(dialog && dialog->isVisible()) << name;
        return dialog ? dialog->findChild<QWidget*>(QLatin1String(name)) : nullptr;
    };
    const Case cases[] = {
        {"the element list",
         [&] { return window->control<QWidget>("TreeView1"); },
         {},
         "Operating the station"},
        {"the Events panel",
         [&] { return window->control<QWidget>("eventsTable"); },
         {},
         "The Events panel"},
        {"the properties",
         [&] { return window->control<QWidget>("txtElementName"); },
         {},
         "Operating the station"},
        {"the statistics window",
         [&] {
             window->control<QPushButton>("cmdGetStats")->click();
             return in(window->statisticsDialog(), "cmdRefreshStats");
         },
         [&] { window->statisticsDialog()->reject(); }, "The statistics window"},
        {"the SFN adjustment window",
         [&] {
             window->control<QPushButton>("cmdAdjust")->click();
             return in(window->adjustDialog(), "cmdRefresh");
         },
         [&] { window->adjustDialog()->reject(); }, "The SFN plot"},
        {"the SFN overview",
         [&] {
             item("actionSfnOverview")->trigger();
             return in(window->plantWindows()->sfnOverviewWindow(), "cmdMeasure");
         },
         [&] { window->plantWindows()->sfnOverviewWindow()->close(); }, "The SFN overview"},
        {"the settings dialog",
         [&] {
             item("actionSettings")->trigger();
             return in(window->findChild<QDialog*>("settingsDialog"), "settingsMonitorInterval");
         },
         [&] { window->findChild<QDialog*>("settingsDialog")->reject(); }, "The plant monitor"},
    };
    for (const Case& c : cases) {
        QWidget* target = c.focus();
        ASSERT_NE(target, nullptr) << c.where;
        EXPECT_EQ(helpAtTop(target).toStdString(), c.heading) << c.where;
        if (c.close) c.close();
        QApplication::processEvents();
    }

    // A window of its own: one modal over the station's leaves it readable and scrollable.
    EXPECT_EQ(window->helpWindow()->parentWidget(), nullptr);
    ASSERT_NE(window->helpWindow()->windowHandle(), nullptr);
    EXPECT_EQ(window->helpWindow()->windowHandle()->transientParent(), nullptr);

    // The web status's address dialog: its section while it asks.
    auto& monitor = main->plantMonitor();
    runtime::WebStatus web(monitor.journal(), monitor, main->context());
    ui::WebStatusSwitch sw(*window, web, main->context(), "3.7.8", false);
    QString asked;
    QTimer::singleShot(0, window.get(), [&] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        asked = helpAtTop(dialog->findChild<QLineEdit*>());
        dialog->reject();
    });
    item("actionWebStatus")->trigger();
    EXPECT_EQ(asked.toStdString(), "The web status");
    EXPECT_FALSE(web.running());

    // In the help, F1 leaves the text where it is, and the contents move it by a click.
    auto* help = window->helpWindow();
    auto* contents = help->contents();
    const auto keys = contents->findItems(QStringLiteral("Keyboard"), Qt::MatchEndsWith);
    ASSERT_EQ(keys.size(), 1);
    click(contents->viewport(), contents->visualItemRect(keys[0]).center());
    EXPECT_EQ(helpAtTop(help->browser()).toStdString(), "Keyboard");
    ASSERT_TRUE(help->grab().save(screenshotPath("help-section.png")));
    // Every section of the help can be opened at the top, down to the last.
    for (const QString& heading : help->headings()) {
        EXPECT_TRUE(help->showSection("### " + heading)) << heading.toStdString();
        EXPECT_EQ(help->headingAtTop().toStdString(), heading.toStdString());
    }
    EXPECT_FALSE(help->showSection("### No such section"));
}

TEST_F(DesktopOperation, TheStatisticsWindowsCopyButtonAnswersTheCopyKeys) {
    open();
    clickNode(0);
    window->control<QPushButton>("cmdGetStats")->click();
    auto* statistics = window->statisticsDialog();
    ASSERT_TRUE(statistics && statistics->isVisible());
    statistics->activateWindow();
    QApplication::setActiveWindow(statistics);
    statistics->setFocus();
    QApplication::clipboard()->clear();
    press(QKeySequence::Copy);
    EXPECT_TRUE(QApplication::clipboard()->text().contains("STUDIO-RX"))
        << QApplication::clipboard()->text().toStdString();
    statistics->reject();
}

TEST_F(DesktopOperation, AboutNamesTheVersionQtTheFilesAndTheCommit) {
    open();
    QTemporaryDir folder;
    window->setAboutFacts({{}, "/home/operator/.config/vantrelo-nms/Kestrova.ini", {}});
    window->useLayout(folder.filePath("window.ini"));
    window->showAbout();
    auto* about = window->aboutDialog();
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->isVisible());
    const QString text = about->text();
    EXPECT_TRUE(text.contains("Version: 3.7.8")) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Qt: ") + qVersion())) << text.toStdString();
    EXPECT_TRUE(text.contains("Database: /db/nms.ini")) << text.toStdString();
    EXPECT_TRUE(text.contains("Settings: /home/operator/.config/vantrelo-nms/Kestrova.ini"));
    EXPECT_TRUE(text.contains("Window layout: " + folder.filePath("window.ini")));
    EXPECT_FALSE(ui::AboutDialog::commit().isEmpty());
    EXPECT_TRUE(text.contains("Commit: " + ui::AboutDialog::commit()));
    ASSERT_TRUE(about->grab().save(screenshotPath("about.png")));
}

TEST(HelpText, TheOperatingSectionEndsAtTheNextHeadingOfItsLevel) {
    const QString readme =
        "# Title\n\n## Install\n\nsteps\n\n## Operating the "
        "station\n\n![window](docs/w.png)\n\nfirst\n\n"
        "### Keys\n\nF1\n\n"
        "## Benchmarks\n\nnot this\n";
    const QString section = ui::HelpWindow::section(readme, ui::HelpWindow::operatingHeading());
    EXPECT_TRUE(section.startsWith("## Operating the station"));
    EXPECT_TRUE(section.contains("### Keys"));
    EXPECT_TRUE(section.endsWith("F1"));
    EXPECT_FALSE(section.contains("docs/w.png"));
    EXPECT_TRUE(ui::HelpWindow::section(readme, "## Missing").isEmpty());
}

// A window without a section of its own leads to the operating section's top; the help itself
// nowhere.
TEST(HelpText, AWindowWithoutASectionOfItsOwnOpensTheTop) {
    const struct {
        const char* window;
        const char* heading;
    } cases[] = {{"frmPaging", "Operating the station"}, {"helpWindow", ""}};
    for (const auto& c : cases) {
        QWidget window;
        window.setObjectName(QLatin1String(c.window));
        QWidget field(&window);
        EXPECT_EQ(ui::HelpWindow::headingFor(&field).toStdString(), c.heading) << c.window;
    }
    EXPECT_EQ(ui::HelpWindow::headingFor(nullptr).toStdString(), "Operating the station");
}

TEST_F(DesktopOperation, WebStatusIsTurnedOnFromTheStationMenuAndRemembered) {
    open();
    namespace keys = station::settings;
    auto& context = main->context();
    auto& monitor = main->plantMonitor();
    runtime::WebStatus web(monitor.journal(), monitor, context);
    auto sw = std::make_unique<ui::WebStatusSwitch>(*window, web, context, "3.7.8", false);
    sw->askAddress = [](const QString& remembered) {
        EXPECT_EQ(remembered, "127.0.0.1:9821");  // nothing stored yet
        return QStringLiteral("127.0.0.1:0");     // any free port, for the test
    };
    QAction* web1 = item("actionWebStatus");
    ASSERT_TRUE(web1->isCheckable());
    EXPECT_FALSE(web1->isChecked());  // off until turned on
    auto* where = window->findChild<QLabel*>("lblWebStatus");
    ASSERT_NE(where, nullptr);

    web1->trigger();
    ASSERT_TRUE(web.running());
    EXPECT_TRUE(web1->isChecked());
    EXPECT_EQ(where->text(), "Web status: " + QString::fromStdString(web.url()));
    EXPECT_EQ(context.setting(keys::kWebStatus), "1");
    EXPECT_EQ(context.setting(keys::kWebStatusAddress), "127.0.0.1:0");

    // The next start serves again without asking.
    sw.reset();
    web.stop();
    sw = std::make_unique<ui::WebStatusSwitch>(*window, web, context, "3.7.8", false);
    EXPECT_TRUE(web.running());
    web1->trigger();
    EXPECT_FALSE(web.running());
    EXPECT_FALSE(web1->isChecked());
    EXPECT_EQ(context.setting(keys::kWebStatus), "0");

    // A port another station holds: refused with the address and the reason, and left off.
    runtime::WebStatus other(monitor.journal(), monitor, context);
    runtime::WebStatus::Options taken;
    taken.listen = "127.0.0.1:0";
    ASSERT_EQ(other.start(taken), "");
    const QString held = QString::fromStdString(other.url()).mid(7).chopped(1);  // ADDR:PORT
    sw->askAddress = [&](const QString&) { return held; };
    QString said;
    QTimer::singleShot(0, window.get(), [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            said = box->text();
            box->close();
        }
    });
    web1->trigger();
    EXPECT_FALSE(web.running());
    EXPECT_FALSE(web1->isChecked());
    EXPECT_EQ(said, "The web status cannot start: cannot listen on " + held +
                        ": the port is in use by another program");
}

}  // namespace
}  // namespace nms::testing
