#include "platform/qt_lifecycle.h"

#include <QCoreApplication>
#include <QMetaObject>

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

}  // namespace nms::platform
