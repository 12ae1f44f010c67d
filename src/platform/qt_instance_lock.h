#pragma once

#include <QString>

#include <memory>
#include <string>

#include "ports/instance_lock.h"

class QLockFile;

namespace nms::platform {

// One running station per user: a lock file in the user's runtime folder. The file names the
// process holding it, so a lock left by a crashed station is recognised as stale and taken over.
class QtInstanceLock : public ports::InstanceLock {
public:
    // `path` empty: vantrelo-nms.lock in the user's runtime folder.
    explicit QtInstanceLock(QString path = {});
    ~QtInstanceLock() override;

    bool tryAcquire() override;
    void release() override;
    std::string creationFailure() const override { return creationFailure_; }

    const QString& path() const { return path_; }
    // Who holds the lock after a failed tryAcquire ("process 4242 (nms) on studio-pc"), or empty.
    const std::string& holder() const { return holder_; }
    static QString defaultPath();

private:
    QString path_;
    std::string holder_;
    std::string creationFailure_;
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace nms::platform
