// nms: the station's window.

#include <QApplication>
#include <QCloseEvent>

#include <cstdio>

#include "app/frm_main.h"
#include "platform/interfaces_linux.h"
#include "platform/qt_lifecycle.h"
#include "ports/dialogs.h"
#include "runtime/station_runtime.h"
#include "runtime/web_status.h"
#include "ui/icons.h"
#include "ui/main_window.h"
#include "ui/qt_dialogs.h"
#include "ui/web_status_switch.h"

int main(int argc, char** argv) {
    using namespace nms;
    const auto options = runtime::parseStationOptions(argc, argv);
    // Help and version are answered before any window, lock or file is touched.
    if (options.help) {
        std::fputs(runtime::stationUsage(argv[0]).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("nms (Vantrelo NG NMS) %s\n", NMS_VERSION);
        return 0;
    }
    if (!options.error.empty()) {
        std::fprintf(stderr, "nms: %s\n%s", options.error.c_str(), runtime::stationUsage(argv[0]).c_str());
        return 2;
    }

    QApplication qapp(argc, argv);
    QApplication::setApplicationName("Vantrelo NG NMS");
    QApplication::setOrganizationName("Kestrova");
    QApplication::setStyle(ui::stationStyle());
    platform::quitOnTerminationSignals();
    // The desktop entry's name: the window system finds the station's icon and menu entry by it.
    QGuiApplication::setDesktopFileName("com.kestrova.VantreloNMS");
    ui::QtDialogs dialogs;
    runtime::StationRuntime runtime(options, dialogs, argc, argv);
    auto& env = runtime.env();
    app::frmMain main(env);
    ui::MainWindow window(main, env.gate);
    dialogs.setFallbackParent(&window);
    if (options.demo) window.markSimulated();
    // The demo runs on its own network: the host's interface names would not match its addresses.
    if (!options.demo) {
        const auto names = platform::LinuxInterfaceList::interfaceNames();
        window.setInterfaceNames([names](const QString& address) {
            const auto it = names.find(address.toStdString());
            return it == names.end() ? QString() : QString::fromStdString(it->second);
        });
    }
    window.setAboutFacts({QString::fromStdString(runtime.databasePath()), runtime.settingsFile(), {}});
    // The window's place is the front end's own, beside the station's settings.
    window.useLayout(runtime.settingsFolder() + QStringLiteral("/window.ini"));

    if (!runtime.databaseProblem().empty()) {
        main.msgBox(runtime.databaseProblem(), ports::MessageIcon::Exclamation, ports::MessageButtons::Ok,
                    ports::Answer::Ok);
    }
    // The monitor's web service, off until the operator turns it on (Station > Web status).
    runtime::WebStatus web(runtime.journal(), main.plantMonitor(), main.context());
    ui::WebStatusSwitch webSwitch(window, web, main.context(), NMS_VERSION, options.demo);
    main.onStarted = [&] { window.show(); };
    env.gate.dispatch(ports::EventGate::Kind::Posted, [&] { main.Form_Load(); });
    if (main.ended()) return runtime.exitStatus(1);

    const int rc = qapp.exec();
    if (!main.ended()) main.Form_Unload();
    return runtime.exitStatus(rc);
}
