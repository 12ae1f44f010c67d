#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <string>

class QWidget;

namespace nms::station {
class StationContext;
}

namespace nms::ui {

// One export of a plot: its data as CSV and its picture as a PNG beside it.
struct ChartExport {
    std::string dialogTitle;  // "Export the delay history"
    // The proposed file name without folder or extension ("sfn-delay-TX-EAST-SFN-2026-12-09").
    std::string baseName;
    // What the picture says about itself, drawn over the plot.
    std::string title;
    // The data, made only once the operator chose where it goes.
    std::function<std::string()> csv;
};

// Where an export's save dialog opens: the folder the last one wrote to (`remembered`) while it
// is there, else the user's documents folder when there is one, else the home folder.
QString exportStartFolder(const QString& remembered);

// The plot as it stands under a band with its title; the title is also the PNG's "Title" text,
// so that a file manager or a search finds it.
QImage titledPicture(QWidget* plot, const QString& title);

// Asks where to write (in the folder the last export wrote to, else the user's documents
// folder), writes the CSV and the PNG beside it, each replacing a file only once complete, and
// remembers the folder. Returns what the window says: where it wrote, or why it could not (that
// also in a message box: an export that fails is never silent); nothing when the operator
// cancelled.
QString exportChart(station::StationContext& context, QWidget* plot, const ChartExport& what);

}  // namespace nms::ui
