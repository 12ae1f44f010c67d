#include "platform/qt_lifecycle.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace nms::platform {

void QtLifecycle::exitProgram(int status) {
    if (status_) return;
    status_ = status;
    // Queued, so that it also works before exec() runs (an error during start-up): the loop
    // picks it up as its first event.
    if (auto* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(app, [status] { QCoreApplication::exit(status); }, Qt::QueuedConnection);
    }
}

namespace {
// The signal handler may only note the signal and write to a descriptor; the event loop reads
// the other end.
int wakeFds[2] = {-1, -1};
volatile std::sig_atomic_t received = 0;

void onTerminationSignal(int signal) {
    received = signal;
    if (wakeFds[0] < 0) return;
    const char byte = 1;
    const auto saved = errno;
    [[maybe_unused]] const auto written = ::write(wakeFds[0], &byte, 1);
    errno = saved;
}

void catchTerminationSignals() {
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
}
}  // namespace

void quitOnTerminationSignals() {
    auto* app = QCoreApplication::instance();
    if (!app || wakeFds[0] >= 0) return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeFds) != 0) return;
    auto* notifier = new QSocketNotifier(wakeFds[1], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [] {
        char drained[16];
        while (::read(wakeFds[1], drained, sizeof drained) > 0) {
        }
        QCoreApplication::exit(0);
    });
    catchTerminationSignals();
}

void noteTerminationSignals() {
    catchTerminationSignals();
}

namespace {
volatile std::sig_atomic_t reloads = 0;
void onReloadSignal(int) { reloads = reloads + 1; }
}  // namespace

void noteReloadSignals() {
    struct sigaction action {};
    action.sa_handler = onReloadSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGHUP, &action, nullptr);
}

int reloadRequests() {
    return reloads;
}

int terminationSignal() {
    return received;
}

}  // namespace nms::platform
