#include "platform/qt_instance_lock.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

namespace nms::platform {

QtInstanceLock::QtInstanceLock(QString path) : path_(path.isEmpty() ? defaultPath() : std::move(path)) {}

QtInstanceLock::~QtInstanceLock() { release(); }

QString QtInstanceLock::defaultPath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    return folder + QStringLiteral("/vantrelo-nms.lock");
}

bool QtInstanceLock::tryAcquire() {
    if (lock_ && lock_->isLocked()) return true;
    QDir().mkpath(QFileInfo(path_).absolutePath());
    auto lock = std::make_unique<QLockFile>(path_);
    // Never stale by age: a station runs for months. A lock whose process is gone (a crash) is
    // still recognised as stale by the process id it names, and removed.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        qint64 pid = 0;
        QString host, application;
        holder_.clear();
        if (lock->getLockInfo(&pid, &host, &application))
            holder_ = QStringLiteral("process %1 (%2) on %3").arg(pid).arg(application, host).toStdString();
        return false;
    }
    lock_ = std::move(lock);
    return true;
}

void QtInstanceLock::release() {
    if (lock_) lock_->unlock();
    lock_.reset();
}

}  // namespace nms::platform
