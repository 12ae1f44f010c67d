#pragma once

// A whole main window on the station's fakes, shown offscreen and made the active window, so
// that keys reach the window's shortcuts as an operator's would.

#include <QApplication>
#include <QKeySequence>
#include <QTreeView>

#include <memory>
#include <string>

#include "app/station_fixture.h"
#include "gui_support.h"
#include "ui/main_window.h"

namespace nms::testing {

// Two decoders and an encoder; their addresses, firmware and serials sort differently from the
// station's order.
inline constexpr const char* kWindowPlant =
    "[00AA00000001]\nNAME=STUDIO-RX     "
    "\nROLE=2\nIP=192.168.1.91\nMASK=255.255.255.0\nGW=192.168.1.1\n"
    "TYPE=2\nTX=1\nVER=3.71\nBOUND=1\nATT=235\nMULTI=239.192.0.7\nBUF=6\nSDL=37\nSDT=43\nSDM=0\nSN="
    "20231\nSFN=1\nLLO=0\n"
    "[00AA00000002]\nNAME=STUDIO-TX     "
    "\nROLE=1\nIP=192.168.1.9\nMASK=255.255.255.0\nGW=192.168.1.1\n"
    "INPUT=1\nTYPE=2\nTX=0\nVER=3.8\nATT=231\nREMOTE=192.168.1.91\nMULTI=239.192.0.7\nSN="
    "20230\nSFN=0\nLLO=0\n"
    "[00AA00000003]\nNAME=MPX-TX        "
    "\nROLE=1\nIP=192.168.1.100\nMASK=255.255.255.0\nGW=192.168.1.1\n"
    "INPUT=0\nTYPE=8\nTX=1\nVER=3.75\nATT=255\nMULTI=239.200.1.5\nSN=9232\nSFN=0\nLLO=0\n";

class StationWindowTest : public StationTest {
protected:
    std::unique_ptr<ui::MainWindow> window;

    // `activate` off leaves the window shown but not the active one (a test of what it draws).
    void open(const std::string& database = kWindowPlant, bool activate = true) {
        start(database);
        ASSERT_TRUE(main->running());
        window = std::make_unique<ui::MainWindow>(*main, gate);
        window->show();
        if (activate) {
            window->activateWindow();
            QApplication::setActiveWindow(window.get());
        }
        QApplication::processEvents();
    }
    void clickNode(int row) {
        auto* tree = window->control<QTreeView>("TreeView1");
        ASSERT_NE(tree, nullptr);
        ASSERT_LT(row, tree->model()->rowCount());
        click(tree->viewport(), tree->visualRect(tree->model()->index(row, 0)).center());
        QApplication::processEvents();
    }
    // A key combination pressed in the window, as the window system delivers it to the widget
    // with the focus (the window's shortcuts see it first).
    void press(const QKeySequence& keys) {
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : window.get();
        const auto combination = keys[0];
        QKeyEvent down(QEvent::KeyPress, combination.key(), combination.keyboardModifiers());
        QApplication::sendEvent(target, &down);
        QKeyEvent up(QEvent::KeyRelease, combination.key(), combination.keyboardModifiers());
        QApplication::sendEvent(target, &up);
        QApplication::processEvents();
    }
};

}  // namespace nms::testing
