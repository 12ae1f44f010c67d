// What the main window shows beyond the station's own controls: marks on unsaved edits, the
// tree's columns and the interface names.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTreeView>
#include <QWindow>

#include <functional>

#include "station_window.h"
#include "monitor/plant_monitor.h"
#include "ui/change_markers.h"
#include "ui/monitor_controls.h"
#include "ui/monitor_view.h"
#include "ui/settings_dialog.h"

namespace nms::testing {
namespace {

class DesktopPanel : public StationWindowTest {
protected:
    ui::ChangeMarkers& markers() { return *window->changeMarkers(); }
    QString frameTitle() { return window->control<QGroupBox>("frmProperties")->title(); }
    std::vector<std::string> marked() {
        QApplication::processEvents();  // the comparison runs once the change is done
        return markers().markedFields();
    }
    QStringList column(int c) {
        auto* tree = window->control<QTreeView>("TreeView1");
        QStringList out;
        for (int i = 0; i < tree->model()->rowCount(); ++i) out << tree->model()->index(i, c).data().toString();
        return out;
    }
};

TEST_F(DesktopPanel, EditedFieldsAreMarkedUntilTheyMatchTheStoredRecordAgain) {
    open();
    ASSERT_NE(window->changeMarkers(), nullptr);
    EXPECT_TRUE(marked().empty());
    EXPECT_EQ(frameTitle(), "Element properties:");

    // An element just loaded is what its record says.
    clickNode(0);
    EXPECT_TRUE(marked().empty());
    EXPECT_EQ(frameTitle(), "Element properties:");

    auto* name = window->control<QLineEdit>("txtElementName");
    name->selectAll();
    typeText(name, "STUDIO-RX2");
    emit window->control<QComboBox>("cmbSilDetMode")->activated(2);
    EXPECT_EQ(marked(), (std::vector<std::string>{"txtElementName", "cmbSilDetMode"}));
    EXPECT_EQ(frameTitle(), "Element properties: (modified)");
    auto* mark = window->findChild<QLabel*>("txtElementNameChanged");
    ASSERT_NE(mark, nullptr);
    EXPECT_FALSE(mark->text().isEmpty());
    EXPECT_TRUE(tipAsShown(mark->toolTip()).contains("Name: stored STUDIO-RX"))
        << mark->toolTip().toStdString();
    EXPECT_TRUE(window->findChild<QLabel*>("txtElementIPChanged")->text().isEmpty());
    // The model's caption stays the station's.
    EXPECT_EQ(main->panel.frmProperties.caption(), "Element properties:");
    window->grab().save(screenshotPath("main_window_modified.png"));

    // Typing the stored values back clears the marks.
    name->selectAll();
    typeText(name, "STUDIO-RX");
    emit window->control<QComboBox>("cmbSilDetMode")->activated(0);
    EXPECT_TRUE(marked().empty());
    EXPECT_EQ(frameTitle(), "Element properties:");

    // Another element shown, or none: nothing marked.
    typeText(name, "X");
    EXPECT_FALSE(marked().empty());
    clickNode(1);
    EXPECT_TRUE(marked().empty());
    operatorDoes([&] { main->RefreshElementList(); });
    EXPECT_TRUE(marked().empty());
    EXPECT_EQ(frameTitle(), "Element properties:");
}

TEST_F(DesktopPanel, TheTreeShowsAddressFirmwareAndSerialAndSortsByThem) {
    open();
    auto* tree = window->control<QTreeView>("TreeView1");
    ASSERT_EQ(tree->model()->columnCount(), 4);
    EXPECT_FALSE(tree->isHeaderHidden());
    EXPECT_EQ(tree->model()->headerData(1, Qt::Horizontal).toString(), "IP address");
    // The station's order, and the stored values beside each node.
    EXPECT_EQ(column(1), (QStringList{"192.168.1.91", "192.168.1.9", "192.168.1.100"}));
    EXPECT_EQ(column(2), (QStringList{"3.71", "3.8", "3.75"}));
    EXPECT_EQ(column(3), (QStringList{"20231", "20230", "9232"}));

    auto header = [&](int c) {
        emit tree->header()->sectionClicked(c);
        QApplication::processEvents();
    };
    // Addresses and numbers sort as numbers, not as text.
    header(1);
    EXPECT_EQ(column(1), (QStringList{"192.168.1.9", "192.168.1.91", "192.168.1.100"}));
    header(1);
    EXPECT_EQ(column(1), (QStringList{"192.168.1.100", "192.168.1.91", "192.168.1.9"}));
    header(2);
    EXPECT_EQ(column(2), (QStringList{"3.71", "3.75", "3.8"}));
    header(3);
    EXPECT_EQ(column(3), (QStringList{"9232", "20230", "20231"}));

    // A click on a sorted row shows that row's element; sorting does not change what is shown.
    clickNode(0);
    EXPECT_EQ(main->panel.lblElementMAC.caption(), "00:AA:00:00:00:03");
    EXPECT_EQ(main->TreeView1.selectedIndex(), 2);
    header(3);
    header(3);  // the third click: the station's order again
    EXPECT_EQ(column(1), (QStringList{"192.168.1.91", "192.168.1.9", "192.168.1.100"}));
    EXPECT_EQ(main->panel.lblElementMAC.caption(), "00:AA:00:00:00:03");
    EXPECT_EQ(tree->currentIndex().row(), 2);

    // A rebuilt tree keeps the operator's sort.
    header(1);
    operatorDoes([&] { main->RefreshElementList(); });
    QApplication::processEvents();
    EXPECT_EQ(column(1), (QStringList{"192.168.1.9", "192.168.1.91", "192.168.1.100"}));
}

// A real mouse on a real display: the press on a header gives the list the focus, and a list
// that takes its focus as a keyboard move would load the first element and lose the click.
// Runs under an X server (tests/gui/under_xvfb.sh); skipped offscreen.
TEST_F(DesktopPanel, AHeaderClickedThroughTheWindowSystemSortsAndLoadsNothing) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs an X server";
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    ASSERT_FALSE(xdotool.isEmpty()) << "xdotool is not installed";
    open();
    auto* tree = window->control<QTreeView>("TreeView1");
    auto settle = [](const std::function<bool()>& done) {
        QElapsedTimer waited;
        waited.start();
        while (!done() && waited.elapsed() < 5000) QApplication::processEvents(QEventLoop::AllEvents, 50);
    };
    settle([&] { return window->windowHandle()->isExposed(); });
    // Mapped now: the window system can give it the keyboard.
    window->activateWindow();
    settle([&] { return window->isActiveWindow(); });
    auto realClick = [&](int section) {
        auto* header = tree->header();
        const QPoint local(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                           header->height() / 2);
        const QPoint at = header->viewport()->mapToGlobal(local);
        // Moved back off the list afterwards: a move to where the pointer already is never syncs.
        QProcess::execute(xdotool, {QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()),
                                    QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1"),
                                    QStringLiteral("mousemove"), QStringLiteral("--sync"), QStringLiteral("1"),
                                    QStringLiteral("1")});
    };
    // The focus is in the panel, as after typing a name: the press moves it to the list.
    window->control<QLineEdit>("txtElementName")->setFocus();
    settle([&] { return window->control<QLineEdit>("txtElementName")->hasFocus(); });
    ASSERT_TRUE(window->control<QLineEdit>("txtElementName")->hasFocus());
    realClick(1);
    settle([&] { return tree->header()->isSortIndicatorShown(); });
    EXPECT_TRUE(tree->header()->isSortIndicatorShown());
    EXPECT_EQ(tree->header()->sortIndicatorSection(), 1);
    EXPECT_EQ(column(1).join(' ').toStdString(), "192.168.1.9 192.168.1.91 192.168.1.100");
    // The header is not an element: nothing was loaded.
    EXPECT_EQ(main->TreeView1.selectedIndex(), -1);
    EXPECT_EQ(main->panel.lblElementMAC.caption(), "-");

    realClick(1);
    settle([&] { return tree->header()->sortIndicatorOrder() == Qt::DescendingOrder; });
    EXPECT_EQ(column(1).join(' ').toStdString(), "192.168.1.100 192.168.1.91 192.168.1.9");
}

TEST_F(DesktopPanel, TheInterfaceListNamesEachAddressButTheAddressStaysTheValue) {
    network.addresses.addresses = {"10.0.0.5", "192.168.50.10"};
    open();
    window->setInterfaceNames([](const QString& address) {
        return address == "192.168.50.10" ? QStringLiteral("eth0") : QString();
    });
    auto* list = window->control<QComboBox>("cmbNMSIPAddr");
    ASSERT_EQ(list->count(), main->cmbNMSIPAddr.listCount());
    QStringList shown;
    for (int i = 0; i < list->count(); ++i) shown << list->itemText(i);
    EXPECT_EQ(shown, (QStringList{"10.0.0.5", "192.168.50.10 (eth0)", "0.0.0.0 (all interfaces)"}));
    EXPECT_EQ(list->itemData(1).toString(), "192.168.50.10");

    emit list->activated(1);
    EXPECT_EQ(main->strLocalNMSIPAddress, "192.168.50.10");
    EXPECT_EQ(settings.get("Kestrova", "Vantrelo NG", "NMS IP Address").value_or(""),
              "192.168.50.10");
    EXPECT_EQ(list->currentText(), "192.168.50.10 (eth0)");
}

// The plant monitor worked from the keyboard and the mouse: its shortcut, its state and counts
// in the status bar, the list grouped by health, an offline element acknowledged, its interval
// changed in the settings.
TEST_F(DesktopPanel, ThePlantMonitorIsACommandOfTheWindowWithItsStateInTheStatusBar) {
    open();
    auto* controls = window->monitorControls();
    ASSERT_NE(controls, nullptr);
    auto* state = window->findChild<QLabel*>("monitorState");
    auto* counts = window->findChild<QLabel*>("healthCounts");
    ASSERT_TRUE(state && counts);
    EXPECT_EQ(state->text(), "Plant monitor: off");

    press(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    EXPECT_TRUE(main->plantMonitoring());
    EXPECT_TRUE(window->menuAction("actionPlantMonitor")->isChecked());
    EXPECT_TRUE(window->monitorView()->toggle()->isChecked());
    // Nothing answers on this network: offline after three cycles.
    time.advance(21000);
    controls->follow();
    EXPECT_EQ(state->text(), "Plant monitor: every 10 s");
    EXPECT_EQ(counts->text(), "0 online · 0 warning · 0 alarm · 3 offline");

    // Grouped by health through the Station menu, as a person opens it.
    auto menuKey = [](char letter) {
        QWidget* popup = QApplication::activePopupWidget();
        ASSERT_NE(popup, nullptr);
        const QString text(QChar::fromLatin1(letter));
        QKeyEvent down(QEvent::KeyPress, Qt::Key_A + (letter - 'a'), Qt::NoModifier, text);
        QApplication::sendEvent(popup, &down);
        QKeyEvent up(QEvent::KeyRelease, Qt::Key_A + (letter - 'a'), Qt::NoModifier, text);
        QApplication::sendEvent(popup, &up);
        QApplication::processEvents();
    };
    press(QKeySequence(Qt::ALT | Qt::Key_S));
    menuKey('g');
    menuKey('h');
    QApplication::processEvents();
    EXPECT_EQ(controls->grouping(), "health");
    EXPECT_EQ(settings.getOr("Kestrova", "Vantrelo NG", "TreeGrouping", ""), "health");
    auto* tree = window->control<QTreeView>("TreeView1");
    ASSERT_EQ(tree->model()->rowCount(), 1);
    const QModelIndex offline = tree->model()->index(0, 0);
    EXPECT_EQ(offline.data().toString(), "Offline (3)");
    ASSERT_EQ(tree->model()->rowCount(offline), 3);
    // A heading, first, sets the height of every row: it leaves room for an element's picture.
    EXPECT_GE(tree->visualRect(tree->model()->index(0, 0, offline)).height(),
              tree->iconSize().height() + 2);
    // Sorted by a header's click, the headings stay open.
    auto* header = tree->header();
    click(header->viewport(), QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    EXPECT_TRUE(tree->isExpanded(tree->model()->index(0, 0)));
    click(header->viewport(), QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    click(header->viewport(), QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));

    // The element clicked in its group is the one shown, and Ctrl+K acknowledges it.
    const QModelIndex first = tree->model()->index(0, 0, offline);
    click(tree->viewport(), tree->visualRect(first).center());
    QApplication::processEvents();
    const std::string mac = first.data(Qt::UserRole).toString().toStdString();
    ASSERT_GE(main->TreeView1.selectedIndex(), 0);
    EXPECT_EQ(main->TreeView1.nodes()[static_cast<std::size_t>(main->TreeView1.selectedIndex())].key, mac);
    controls->follow();
    EXPECT_TRUE(controls->acknowledgeAction()->isEnabled());
    press(QKeySequence(Qt::CTRL | Qt::Key_K));
    EXPECT_TRUE(main->plantMonitor().find(mac)->acknowledged);
    EXPECT_FALSE(controls->acknowledgeAction()->isEnabled());
    EXPECT_EQ(counts->text(), "0 online · 0 warning · 0 alarm · 3 offline (1 acknowledged)");
    EXPECT_EQ(main->plantMonitor().journal().query(0, mac).front().what, "acknowledged");

    // The interval typed into the settings dialog, taken with Enter.
    press(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    auto* dialog = controls->settingsDialog();
    ASSERT_TRUE(dialog && dialog->isVisible());
    auto* interval = dialog->interval();
    EXPECT_EQ(interval->value(), 10);
    interval->setFocus();
    interval->selectAll();
    typeText(interval, "30");
    pressKey(interval, Qt::Key_Return);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(main->plantMonitor().interval(), 30);
    EXPECT_EQ(settings.getOr("Kestrova", "Vantrelo NG", "MonitorInterval", ""), "30");
    controls->follow();
    EXPECT_EQ(state->text(), "Plant monitor: every 30 s");
}

}  // namespace
}  // namespace nms::testing
