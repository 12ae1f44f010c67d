// Where the windows open, and how the pictures and colours read on light and dark palettes.

#include <gtest/gtest.h>

#include <QAction>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTemporaryDir>
#include <QToolBar>

#include "station_window.h"
#include "ui/bindings.h"
#include "ui/icons.h"
#include "ui/statistics_dialog.h"
#include "ui/window_layout.h"

namespace nms::testing {
namespace {

using ui::fitInside;

TEST(WindowPlace, AWindowIsMovedAndShrunkIntoTheScreenNeverLargerThanIt) {
    const QMargins none;
    // 1920 x 1080 pixels at a scale of 2: 960 x 540 to place windows in.
    const QRect screen(0, 0, 960, 540);
    EXPECT_EQ(fitInside(QRect(100, 100, 1280, 800), screen, none), QRect(0, 0, 960, 540));
    // A window that fits stays where it was left.
    EXPECT_EQ(fitInside(QRect(40, 30, 600, 400), screen, none), QRect(40, 30, 600, 400));
    // Left on a screen to the right that is gone: brought back whole.
    EXPECT_EQ(fitInside(QRect(2500, 200, 600, 400), screen, none), QRect(360, 140, 600, 400));
    EXPECT_EQ(fitInside(QRect(-300, -50, 600, 400), screen, none), QRect(0, 0, 600, 400));
    // A second screen beside the first, and room for the window system's frame.
    const QRect second(1920, 0, 1280, 1024);
    EXPECT_EQ(fitInside(QRect(1900, 0, 800, 600), second, QMargins(8, 32, 8, 8)),
              QRect(1928, 32, 800, 600));
    EXPECT_EQ(fitInside(QRect(1920, 0, 1400, 1100), second, QMargins(8, 32, 8, 8)).size(),
              QSize(1264, 984));
}

class DesktopLooks : public StationWindowTest {
protected:
    QTemporaryDir folder;
    QString file() { return folder.filePath("window.ini"); }
};

TEST_F(DesktopLooks, TheWindowAndItsDialogsOpenWhereTheyWereLeft) {
    open();
    const QRect available = window->screen()->availableGeometry();
    window->useLayout(file());
    // Nothing kept yet: the design size, shrunk to the screen (the test screen is small).
    EXPECT_LE(window->width(), available.width());
    EXPECT_LE(window->height(), available.height());

    const QRect moved(available.left() + 30, available.top() + 40, 520, 380);
    window->setGeometry(moved);
    window->splitter()->setSizes({180, 340});
    const QList<int> sizes = window->splitter()->sizes();
    QApplication::processEvents();

    // The statistics window, moved and closed.
    clickNode(0);
    auto* statistics = window->statisticsDialog();
    window->control<QPushButton>("cmdGetStats")->click();
    ASSERT_TRUE(statistics->isVisible());
    const QRect statisticsPlace(available.left() + 60, available.top() + 50, 440, 420);
    statistics->setGeometry(statisticsPlace);
    statistics->reject();
    ASSERT_FALSE(statistics->isVisible());
    window->close();  // the place is kept as the window closes

    window.reset();
    window = std::make_unique<ui::MainWindow>(*main, gate);
    window->useLayout(file());
    window->show();
    QApplication::processEvents();
    EXPECT_EQ(window->geometry(), moved);
    EXPECT_EQ(window->splitter()->sizes(), sizes);
    window->control<QPushButton>("cmdGetStats")->click();
    ASSERT_TRUE(window->statisticsDialog()->isVisible());
    EXPECT_EQ(window->statisticsDialog()->geometry(), statisticsPlace);
    window->statisticsDialog()->reject();
}

TEST_F(DesktopLooks, APlaceLargerThanTheScreenComesBackInsideIt) {
    open();
    const QRect available = window->screen()->availableGeometry();
    {
        QSettings kept(file(), QSettings::IniFormat);
        kept.setValue("Window/frmMain/rect", QRect(available.right() - 100, 10, 4000, 2600));
    }
    window->useLayout(file());
    QApplication::processEvents();
    const QRect placed = window->geometry();
    EXPECT_TRUE(available.contains(placed))
        << placed.x() << "," << placed.y() << " " << placed.width() << "x" << placed.height();
    EXPECT_LE(placed.width(), available.width());
}

// How much a colour stands out from another (1: not at all, 21: black on white).
double contrast(const QColor& a, const QColor& b) {
    auto l = [](const QColor& c) {
        auto ch = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * ch(c.redF()) + 0.7152 * ch(c.greenF()) + 0.0722 * ch(c.blueF());
    };
    const double x = l(a) + 0.05;
    const double y = l(b) + 0.05;
    return std::max(x, y) / std::min(x, y);
}

// The share of a picture's outline (its drawn pixels beside an undrawn one) that stands out
// from the window behind it: what lets the eye find the shape.
double legibleShare(const QPixmap& pixmap, const QColor& window) {
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    auto drawn = [&image](int x, int y) {
        return x >= 0 && y >= 0 && x < image.width() && y < image.height() &&
               image.pixelColor(x, y).alpha() >= 200;
    };
    int outline = 0;
    int legible = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!drawn(x, y)) continue;
            if (drawn(x - 1, y) && drawn(x + 1, y) && drawn(x, y - 1) && drawn(x, y + 1)) continue;
            ++outline;
            legible += contrast(image.pixelColor(x, y), window) >= 2.0 ? 1 : 0;
        }
    }
    return outline ? double(legible) / outline : 0.0;
}

QPalette darkPalette() {
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    p.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
    p.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    p.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
    p.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::ButtonText, QColor(0xe6, 0xe6, 0xe6));
    return p;
}

TEST(Pictures, EveryPictureStandsOutOnALightAndOnADarkWindow) {
    const QPalette light = QApplication::style()->standardPalette();
    const QPalette dark = darkPalette();
    EXPECT_FALSE(ui::darkPalette(light));
    EXPECT_TRUE(ui::darkPalette(dark));
    for (int picture = 1; picture <= 7; ++picture) {
        const QColor lightWindow = light.color(QPalette::Window);
        const QColor darkWindow = dark.color(QPalette::Window);
        const double onLight = legibleShare(ui::picturePixmap(picture, 24, light), lightWindow);
        const double onDark = legibleShare(ui::picturePixmap(picture, 24, dark), darkWindow);
        EXPECT_GE(onLight, 0.8) << "picture " << picture;
        EXPECT_GE(onDark, 0.8) << "picture " << picture;
        // Without its dark colours the same picture would be hard to see.
        if (picture == 1 || picture == 6 || picture == 7) {
            EXPECT_LT(legibleShare(ui::picturePixmap(picture, 24, light), darkWindow), onDark)
                << "picture " << picture;
        }
    }
}

TEST(Pictures, TheToolbarFollowsTheApplicationsPalette) {
    const QPalette saved = QApplication::palette();
    const QIcon icon = ui::pictureIcon(2);
    const QImage before = icon.pixmap(24).toImage();
    QApplication::setPalette(darkPalette());
    const QImage after = icon.pixmap(24).toImage();
    QApplication::setPalette(saved);
    EXPECT_NE(before, after);
    EXPECT_EQ(icon.pixmap(24).toImage(), before);
}

TEST(ModelColours, TextOnAModelColourIsTheMoreReadableOfBlackAndWhite) {
    auto textOn = [](ports::Color c) {
        auto* button = new QPushButton;
        ports::Button model("cmdPing");
        model.setBackColor(c);
        ports::EventGate gate;
        ui::bind(button, model, gate);
        const QColor text = button->palette().color(QPalette::ButtonText);
        delete button;
        return text;
    };
    // The ping button's green, its failure red and its resting yellow all take dark text.
    EXPECT_EQ(textOn(ports::kGreen), QColor(Qt::black));
    EXPECT_EQ(textOn(ports::kPingFailed), QColor(Qt::black));
    EXPECT_EQ(textOn(ports::kLightYellow), QColor(Qt::black));
    EXPECT_EQ(textOn(ports::kRed), QColor(Qt::black));
    EXPECT_EQ(textOn(ports::rgb(0, 0, 128)), QColor(Qt::white));
    EXPECT_GE(contrast(QColor(0, 255, 0), textOn(ports::kGreen)), 7.0);
}

}  // namespace
}  // namespace nms::testing
