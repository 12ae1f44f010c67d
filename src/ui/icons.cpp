#include "ui/icons.h"

#include <QApplication>
#include <QFile>
#include <QHash>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QProxyStyle>
#include <QString>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QSvgRenderer>

#include <array>
#include <utility>

// The resources live in a static library: nothing references their object file, so they are
// registered by hand before the first use.
static void registerIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace nms::ui {
namespace {

// The pictures are drawn for a light window. On a dark one their dark strokes and bodies would
// vanish, so each dark colour is swapped for a lighter one of the same hue; the bright accents
// (the level bars, the play and stop signs) stay as they are.
constexpr std::array<std::pair<const char*, const char*>, 7> kDarkColours{{
    {"#34495e", "#c5d3e0"},  // slate bodies and outlines
    {"#0b7a9e", "#4fc6ee"},  // the refresh waves
    {"#27803a", "#5fd07a"},  // the refresh arrows
    {"#1f5fa8", "#72aaf0"},  // the save picture's body
    {"#2d7dd2", "#79b8ff"},  // the discover arrow
    {"#eef2f6", "#2a3340"},  // the monitor's screen
    {"#9bb3d1", "#5b7391"},  // the lines on the save picture's label
}};

QString fileOf(int picture) {
    static constexpr std::array<const char*, 9> files{
        "discover", "refresh", "save", "monitor_start", "monitor_stop", "encoder", "decoder", "plant", "more",
    };
    if (picture < 1 || picture > static_cast<int>(files.size())) return {};
    return QStringLiteral(":/icons/%1.svg")
        .arg(QLatin1String(files[static_cast<std::size_t>(picture - 1)]));
}

QByteArray svgFor(int picture, bool dark) {
    static const bool registered = (registerIconResources(), true);
    (void)registered;
    QFile file(fileOf(picture));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QByteArray svg = file.readAll();
    if (dark) {
        for (const auto& [light, replacement] : kDarkColours) {
            svg.replace(QByteArray(light), QByteArray(replacement));
        }
    }
    return svg;
}

QPixmap render(int picture, QSize size, bool dark) {
    // Drawn here rather than through the SVG icon plug-in, so the pictures never depend on a
    // plug-in being installed next to the program.
    QSvgRenderer renderer(svgFor(picture, dark));
    if (!renderer.isValid() || size.isEmpty()) return {};
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    return pixmap;
}

// Draws the picture for the palette in force at the moment it is painted, so a change of theme
// needs no rebuilt toolbar or tree. What it drew is kept for the icon's life (a tree paints the
// same picture on every row), by size, state and palette; icons must not outlive the
// application object, so nothing is kept beyond that.
class PictureEngine : public QIconEngine {
public:
    explicit PictureEngine(int picture) : picture_(picture) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap pm = scaledPixmap(rect.size(), mode, state, ratio);
        painter->drawPixmap(rect, pm);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        if (const auto it = added_.find(key(mode, state)); it != added_.end())
            return it->scaled(size * scale, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        const QSize pixels = (QSizeF(size) * scale).toSize();
        const bool dark = darkPalette(QGuiApplication::palette());
        const quint64 drawnKey = (quint64(quint16(pixels.width())) << 32) | (quint64(quint16(pixels.height())) << 16) |
                                 (quint64(qRound(scale * 16) & 0xFF) << 8) | quint64(key(mode, state) << 1) |
                                 (dark ? 1u : 0u);
        if (const auto it = drawn_.find(drawnKey); it != drawn_.end()) return *it;
        QPixmap pm = render(picture_, pixels, dark);
        pm.setDevicePixelRatio(scale);
        if (mode == QIcon::Disabled && qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QStyleOption option;
            option.palette = QGuiApplication::palette();
            pm = QApplication::style()->generatedIconPixmap(QIcon::Disabled, pm, &option);
        }
        drawn_.insert(drawnKey, pm);
        return pm;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = qMin(size.width(), size.height());
        return {side, side};
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        return {{16, 16}, {20, 20}, {24, 24}, {32, 32}, {48, 48}, {64, 64}};
    }

    void addPixmap(const QPixmap& pixmap, QIcon::Mode mode, QIcon::State state) override {
        added_.insert(key(mode, state), pixmap);
    }

    QString key() const override { return QStringLiteral("nms-picture"); }
    QIconEngine* clone() const override { return new PictureEngine(*this); }
    bool isNull() override { return false; }

private:
    static int key(QIcon::Mode mode, QIcon::State state) { return mode * 2 + state; }
    int picture_;
    QHash<int, QPixmap> added_;
    QHash<quint64, QPixmap> drawn_;
};

}  // namespace

bool darkPalette(const QPalette& palette) {
    return palette.color(QPalette::Active, QPalette::Window).lightness() < 128;
}

QPixmap picturePixmap(int picture, int size, const QPalette& palette) {
    if (fileOf(picture).isEmpty()) return {};
    return render(picture, QSize(size, size), darkPalette(palette));
}

QIcon pictureIcon(int picture) {
    if (fileOf(picture).isEmpty()) return {};
    return QIcon(new PictureEngine(picture));
}

}  // namespace nms::ui

namespace nms::ui {
namespace {

// The application's style, with the toolbar's overflow arrow drawn from the station's own
// pictures: the stock one is a set of image files, and reading the first image file makes Qt
// load every image format plug-in it has, which costs a start more than the toolbar itself.
class StationStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const override {
        if (icon == SP_ToolBarHorizontalExtensionButton) return pictureIcon(kPictureMore);
        if (icon == SP_ToolBarVerticalExtensionButton) {
            // Asked for rarely (a vertical toolbar), and drawn for the palette of the moment.
            QIcon down;
            for (const int side : {16, 24, 32})
                down.addPixmap(pictureIcon(kPictureMore).pixmap(side).transformed(QTransform().rotate(90)));
            return down;
        }
        return QProxyStyle::standardIcon(icon, option, widget);
    }
};

}  // namespace

QStyle* stationStyle() {
    QStyle* base = QStyleFactory::create(QApplication::style()->name());
    return new StationStyle(base);
}

}  // namespace nms::ui
