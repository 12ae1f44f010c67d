#pragma once

#include <string>

namespace nms::ports {

// At most one running station per user. A lock left behind by a crashed instance must not keep
// the next one out.
class InstanceLock {
public:
    virtual ~InstanceLock() = default;
    // True when this process now holds the lock (or already did).
    virtual bool tryAcquire() = 0;
    virtual void release() = 0;
    // After a failed tryAcquire: empty when another station holds the lock; otherwise the lock
    // could not be created at all (its folder read-only, full or missing), and this sentence
    // says where and why.
    virtual std::string creationFailure() const { return {}; }
};

}  // namespace nms::ports
