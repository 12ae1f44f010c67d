#include "ui/icons.h"

#include <QPainter>
#include <QPixmap>
#include <QString>
#include <QSvgRenderer>

#include <array>

// The resources live in a static library: nothing references their object file, so they are
// registered by hand before the first use.
static void registerIconResources() { Q_INIT_RESOURCE(icons); }

namespace nms::ui {
namespace {

// Drawn here rather than through the SVG icon plug-in, so the pictures never depend on a
// plug-in being installed next to the program.
QIcon renderIcon(const QString& file) {
    QSvgRenderer renderer(file);
    if (!renderer.isValid()) return {};
    QIcon icon;
    for (int size : {16, 20, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

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
    return renderIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(files[index])));
}

}  // namespace nms::ui
