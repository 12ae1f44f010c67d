#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QFile;
class QIODevice;
class QSaveFile;
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
    // The data, made only once the operator chose where it goes; nothing when what was shown
    // has gone meanwhile (nothing is written then).
    std::function<std::optional<std::string>()> csv;
};

// A file an export writes. A regular file (or a new one) is written beside and put in place
// only once whole, so that a failed export leaves the file that was there as it was; anything
// else the operator chose (a device, a pipe) is written as it goes: putting a file in its place
// would replace the device itself.
class ExportFile {
public:
    explicit ExportFile(const QString& path);
    ~ExportFile();
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;
    bool open();
    QIODevice& device();
    // Everything written and in place; false (see errorString) when it is not.
    bool commit();
    // Given up: what was there stays, when it can.
    void cancel();
    QString errorString() const;
    QString fileName() const { return path_; }

private:
    QString path_;
    std::unique_ptr<QSaveFile> whole_;
    std::unique_ptr<QFile> direct_;
    QString error_;  // why the last bytes did not go out
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
