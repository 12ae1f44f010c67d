// Operating the main window as a desktop program: the wheel, the keyboard (Tab, access keys,
// shortcuts), the menus, help and About.

#include <gtest/gtest.h>

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QWheelEvent>

#include "station_window.h"
#include "ui/about_dialog.h"
#include "ui/help_window.h"
#include "monitor/plant_monitor.h"
#include "runtime/web_status.h"
#include "station/settings_keys.h"
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
}

}  // namespace
}  // namespace nms::testing
