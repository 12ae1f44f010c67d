#include "platform/qt_instance_lock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace nms::platform {

namespace {

// Why no file can be made in `folder`, in the system's words: QLockFile keeps only a category.
// A small file is made and removed again, so that a full file system is told from a read-only one.
QString whyNoFileIn(const QString& folder) {
    const QByteArray probe =
        QFile::encodeName(folder + QStringLiteral("/.vantrelo-nms-lock-probe-%1").arg(::getpid()));
    int error = 0;
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = errno;
    } else {
        static const char kLine[] = "4242\nnms\nhost\n";
        if (::write(fd, kLine, sizeof kLine - 1) < 0) error = errno;
        if (::fsync(fd) != 0 && error == 0) error = errno;
        ::close(fd);
        ::unlink(probe.constData());
    }
    return error ? QString::fromLocal8Bit(std::strerror(error))
                 : QStringLiteral("the file could not be written");
}

}  // namespace

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
    holder_.clear();
    creationFailure_.clear();
    if (!lock->tryLock(0)) {
        if (lock->error() != QLockFile::LockFailedError) {
            // Not another station: the file cannot be made at all. Saying "already running"
            // here would send the operator looking for a station that does not exist.
            const QString folder = QFileInfo(path_).absolutePath();
            creationFailure_ = QStringLiteral("The station's lock %1 cannot be created in %2: %3")
                                   .arg(path_, folder, whyNoFileIn(folder))
                                   .toStdString();
            return false;
        }
        qint64 pid = 0;
        QString host, application;
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
