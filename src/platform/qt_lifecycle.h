#pragma once

#include <optional>

#include "ports/lifecycle.h"

namespace nms::platform {

// Ends the program through Qt's event loop: the event in progress returns first, then every
// running loop (a message box's included) ends and exec() returns the status.
class QtLifecycle : public ports::Lifecycle {
public:
    void exitProgram(int status) override;

    // The status asked for, if any. The first request wins: a later clean close must not turn an
    // error exit into a success.
    std::optional<int> requestedStatus() const { return status_; }
    // What main() returns: the requested status when there is one, else exec()'s result.
    int finalStatus(int execResult) const { return status_ ? *status_ : execResult; }

private:
    std::optional<int> status_;
};

// Ends the event loop on SIGTERM, SIGINT or SIGHUP (a logout, a service manager, Ctrl+C), so that
// the program shuts down as it does when its window is closed: the database's last changes
// written, the journal's last batch, the instance lock released. Without it such a signal ends
// the process where it stands. Call once, after the application object exists.
void quitOnTerminationSignals();

// For a program that runs its own waits (nms-cli): SIGTERM, SIGINT and SIGHUP only note the
// signal, and the program ends its work as on its normal end when it sees terminationSignal().
void noteTerminationSignals();
// The last of those signals received, or 0.
int terminationSignal();

// For a service: SIGHUP asks it to read its configuration again instead of ending it. Call after
// noteTerminationSignals(); reloadRequests() counts the SIGHUPs received.
void noteReloadSignals();
int reloadRequests();

}  // namespace nms::platform
