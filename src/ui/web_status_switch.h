#pragma once

#include <QObject>

#include <functional>
#include <string>

class QAction;
class QLabel;
class QMainWindow;

namespace nms::runtime {
class WebStatus;
}
namespace nms::station {
class StationContext;
}

namespace nms::ui {

// "Station > Web status": the monitor's web service turned on and off from the window, off until
// the operator turns it on, and on again at the next start when it was on at the end. Turning it
// on asks for the address (the one remembered, 127.0.0.1:9821 at first); the status bar shows
// where it serves.
class WebStatusSwitch : public QObject {
public:
    WebStatusSwitch(QMainWindow& window, runtime::WebStatus& web, station::StationContext& context,
                    std::string version, bool simulated);

    // Where the address comes from when the operator turns the service on: a dialog by default,
    // a test's answer otherwise (empty: cancelled).
    std::function<QString(const QString& remembered)> askAddress;

private:
    void turn(bool on, bool asked);
    void say(const QString& text);

    QMainWindow& window_;
    runtime::WebStatus& web_;
    station::StationContext& context_;
    std::string version_;
    bool simulated_;
    QAction* item_ = nullptr;
    QLabel* where_ = nullptr;
};

}  // namespace nms::ui
