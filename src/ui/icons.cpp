#include "ui/icons.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>

#include <algorithm>
#include <array>
#include <map>
#include <utility>

// The resources live in a static library: nothing references their object file, so they are
// registered by hand before the first use.
static void registerIconResources() { Q_INIT_RESOURCE(icons); }

namespace nms::ui {
namespace {

constexpr int kSizes[] = {16, 20, 24, 32, 48, 64};

// Drawn here rather than through the SVG icon plug-in, so the pictures never depend on a
// plug-in being installed next to the program. Each size is drawn when it is first asked for:
// a window shows one or two sizes of each picture, and drawing all of them at start-up costs
// more than the rest of the toolbar.
class SvgIconEngine : public QIconEngine {
public:
    explicit SvgIconEngine(QString file) : file_(std::move(file)) {}

    QIconEngine* clone() const override { return new SvgIconEngine(file_); }
    QString key() const override { return QStringLiteral("nms-svg"); }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (int size : kSizes) sizes.append(QSize(size, size));
        return sizes;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap drawn = scaledPixmap(rect.size(), mode, state, ratio);
        drawn.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect, drawn);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override {
        const int side = static_cast<int>(std::min(size.width(), size.height()) * scale);
        if (side <= 0) return {};
        const auto key = std::make_pair(side, static_cast<int>(mode));
        if (auto it = drawn_.find(key); it != drawn_.end()) return it->second;
        QPixmap pixmap = mode == QIcon::Normal || mode == QIcon::Active ? render(side) : styled(side, mode);
        drawn_.emplace(key, pixmap);
        return pixmap;
    }

private:
    QPixmap render(int side) const {
        QSvgRenderer renderer(file_);
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        if (!renderer.isValid()) return pixmap;
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        return pixmap;
    }

    // Disabled and selected pictures as the style draws them from the normal one.
    QPixmap styled(int side, QIcon::Mode mode) {
        const QPixmap normal = scaledPixmap(QSize(side, side), QIcon::Normal, QIcon::Off, 1.0);
        if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QStyleOption option;
            option.palette = QApplication::palette();
            return app->style()->generatedIconPixmap(mode, normal, &option);
        }
        return normal;
    }

    QString file_;
    std::map<std::pair<int, int>, QPixmap> drawn_;
};

bool renderable(const QString& file) { return QSvgRenderer(file).isValid(); }

}  // namespace

QIcon pictureIcon(int picture) {
    // No cache of its own: icons must not outlive the application object.
    static const bool registered = (registerIconResources(), true);
    (void)registered;
    static constexpr std::array<const char*, 7> files{
        "discover", "refresh", "save", "monitor_start", "monitor_stop", "encoder", "decoder",
    };
    if (picture < 1 || picture > static_cast<int>(files.size())) return {};
    const auto index = static_cast<std::size_t>(picture - 1);
    const QString file = QStringLiteral(":/icons/%1.svg").arg(QLatin1String(files[index]));
    if (!renderable(file)) return {};
    return QIcon(new SvgIconEngine(file));
}

}  // namespace nms::ui
