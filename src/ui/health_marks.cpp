#include "ui/health_marks.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QHash>
#include <QHelpEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

#include "monitor/plant_monitor.h"
#include "platform/qt_text.h"
#include "ui/plain_text.h"

namespace nms::ui {

using monitor::Health;

QColor healthColour(Health h) {
    switch (h) {
        case Health::Online:
            return QColor(0x2e, 0xb8, 0x4b);
        case Health::Warning:
            return QColor(0xf0, 0xa8, 0x18);
        case Health::Alarm:
            return QColor(0xe0, 0x20, 0x20);
        case Health::Offline:
            return QColor(0x80, 0x80, 0x80);
        case Health::Unknown:
            break;
    }
    return {};
}

QString healthText(Health h) {
    switch (h) {
        case Health::Online:
            return QStringLiteral("Online");
        case Health::Warning:
            return QStringLiteral("Warning");
        case Health::Alarm:
            return QStringLiteral("Alarm");
        case Health::Offline:
            return QStringLiteral("Offline");
        case Health::Unknown:
            break;
    }
    return QStringLiteral("Unknown");
}

void paintHealthMark(QPainter& painter, const QRectF& box, Health health, bool acknowledged,
                     const QColor& outline) {
    if (health == Health::Unknown) return;
    const QColor colour = healthColour(health);
    const QRectF r = box.adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    switch (health) {
        case Health::Online:
            shape.addEllipse(r);
            break;
        case Health::Warning:
            shape.moveTo(r.center().x(), r.top());
            shape.lineTo(r.right(), r.bottom());
            shape.lineTo(r.left(), r.bottom());
            shape.closeSubpath();
            break;
        case Health::Alarm:
            shape.moveTo(r.center().x(), r.top());
            shape.lineTo(r.right(), r.center().y());
            shape.lineTo(r.center().x(), r.bottom());
            shape.lineTo(r.left(), r.center().y());
            shape.closeSubpath();
            break;
        case Health::Offline:
            shape.addRect(r.adjusted(r.width() / 10, r.height() / 10, -r.width() / 10,
                                     -r.height() / 10));
            break;
        case Health::Unknown:
            break;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (acknowledged) {
        // Hollow in the health's colour: the shape still says what it is.
        painter.setPen(QPen(colour, std::max(1.5, r.width() / 7)));
        painter.setBrush(Qt::NoBrush);
    } else {
        painter.setPen(QPen(outline, 1));
        painter.setBrush(colour);
    }
    painter.drawPath(shape);
    if (health == Health::Offline) {
        // The cross says "nothing comes back" without the colour.
        const QRectF x = r.adjusted(r.width() * 0.3, r.height() * 0.3, -r.width() * 0.3,
                                    -r.height() * 0.3);
        painter.setPen(QPen(acknowledged ? colour : QColor(Qt::white), std::max(1.5, r.width() / 8)));
        painter.drawLine(x.topLeft(), x.bottomRight());
        painter.drawLine(x.topRight(), x.bottomLeft());
    }
    painter.restore();
}

QIcon healthIcon(Health health, bool acknowledged) {
    static QHash<int, QIcon> icons;
    const int key = static_cast<int>(health) * 2 + (acknowledged ? 1 : 0);
    auto it = icons.find(key);
    if (it != icons.end()) return *it;
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap picture(size, size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        const qreal m = size / 8.0;
        paintHealthMark(painter, QRectF(m, m, size - 2 * m, size - 2 * m), health, acknowledged,
                        QColor(0x30, 0x30, 0x30));
        painter.end();
        icon.addPixmap(picture);
    }
    return *icons.insert(key, icon);
}

QString healthLegend() {
    // Pictures in a tool tip's rich text come from data URLs of the same marks.
    auto mark = [](Health h, bool acknowledged) {
        QByteArray png;
        {
            QPixmap picture = healthIcon(h, acknowledged).pixmap(16, 16);
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            picture.save(&buffer, "PNG");
        }
        return QStringLiteral("<img src=\"data:image/png;base64,%1\" width=\"16\" height=\"16\">")
            .arg(QString::fromLatin1(png.toBase64()));
    };
    QString rows;
    const struct {
        Health health;
        bool acknowledged;
        const char* meaning;
    } lines[] = {
        {Health::Online, false, "Online: answers, nothing wrong"},
        {Health::Warning, false, "Warning: half duplex, 10 Mbit/s, missed replies or bad frames"},
        {Health::Alarm, false, "Alarm: the element reports an alarm"},
        {Health::Offline, false, "Offline: no answer for three cycles in a row"},
        {Health::Alarm, true, "Hollow: acknowledged by an operator, until the health changes"},
    };
    for (const auto& l : lines)
        rows += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>")
                    .arg(mark(l.health, l.acknowledged), QString::fromLatin1(l.meaning));
    return QStringLiteral("<b>Health marks</b> (while the plant monitor runs)<table>%1</table>")
        .arg(rows);
}

HealthMarks::HealthMarks(const monitor::PlantMonitor& monitor, QObject* parent)
    : QStyledItemDelegate(parent), monitor_(monitor) {}

namespace {

const monitor::PlantMonitor::Element* elementOf(const monitor::PlantMonitor& monitor,
                                                 const QModelIndex& index) {
    // A node's key is its element's MAC text, as the monitor knows it.
    const QString mac = index.siblingAtColumn(0).data(Qt::UserRole).toString();
    return mac.isEmpty() ? nullptr : monitor.find(mac.toStdString());
}

}  // namespace

void HealthMarks::paint(QPainter* painter, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    if (index.column() != 0 || !monitor_.running()) return;
    const auto* e = elementOf(monitor_, index);
    if (!e || e->health == Health::Unknown) return;
    const int d = std::max(10, option.rect.height() * 2 / 3);
    const QRectF box(option.rect.right() - d - 6, option.rect.center().y() - d / 2.0 + 0.5, d, d);
    paintHealthMark(*painter, box, e->health, e->acknowledged,
                    option.palette.color(QPalette::Text));
}

// Room for the mark whether the monitor is on or not: the column is sized when the tree is
// built, and the mark must not cover the end of a node's text once monitoring starts.
QSize HealthMarks::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    // Every row as tall as one with an element's picture, a heading of the grouped list too: the
    // list's rows all take the height of its first, and a heading first would cut the pictures
    // and shrink the marks of every row under it.
    QStyleOptionViewItem pictured = option;
    initStyleOption(&pictured, index);
    pictured.features |= QStyleOptionViewItem::HasDecoration;
    const QWidget* view = option.widget;
    const QStyle* style = view ? view->style() : QApplication::style();
    size.setHeight(std::max(
        size.height(),
        style->sizeFromContents(QStyle::CT_ItemViewItem, &pictured, QSize(), view).height()));
    if (index.column() == 0) size.rwidth() += std::max(10, size.height() * 2 / 3) + 12;
    return size;
}

bool HealthMarks::helpEvent(QHelpEvent* event, QAbstractItemView* view,
                            const QStyleOptionViewItem& option, const QModelIndex& index) {
    const auto* e = elementOf(monitor_, index);
    if (!e || !monitor_.running()) return QStyledItemDelegate::helpEvent(event, view, option, index);
    QString tip = healthText(e->health) + QStringLiteral(": ") + platform::fromModel(e->reason);
    if (e->acknowledged)
        tip += QStringLiteral("\nAcknowledged by %1 at %2")
                   .arg(platform::fromModel(e->acknowledgedBy),
                        QLocale().toString(QDateTime::fromMSecsSinceEpoch(e->acknowledgedAtUnixMs),
                                           QLocale::ShortFormat));
    QToolTip::showText(event->globalPos(), plainToolTip(tip), view);
    return true;
}

}  // namespace nms::ui
