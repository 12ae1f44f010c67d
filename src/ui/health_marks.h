#pragma once

#include <QColor>
#include <QIcon>
#include <QRectF>
#include <QString>
#include <QStyledItemDelegate>

#include "monitor/health.h"

class QPainter;

namespace nms::monitor {
class PlantMonitor;
}

namespace nms::ui {

// How every view of the monitor shows a health: a colour AND a shape, so that a colour-blind
// operator tells them apart as well: online a green circle, warning an amber triangle, alarm a
// red diamond, offline a grey square with a cross. An acknowledged health keeps its shape, drawn
// hollow: still there, no longer calling.
QColor healthColour(monitor::Health health);
QString healthText(monitor::Health health);
void paintHealthMark(QPainter& painter, const QRectF& box, monitor::Health health,
                     bool acknowledged, const QColor& outline);
QIcon healthIcon(monitor::Health health, bool acknowledged = false);
// The legend: each mark and what it means, as rich text for a tool tip or the help.
QString healthLegend();

// Draws the health mark at the right end of an element's node of the tree and says why in its
// tool tip.
class HealthMarks : public QStyledItemDelegate {
public:
    HealthMarks(const monitor::PlantMonitor& monitor, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

private:
    const monitor::PlantMonitor& monitor_;
};

}  // namespace nms::ui
