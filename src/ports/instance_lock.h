#pragma once

namespace nms::ports {

// At most one running station per user. A lock left behind by a crashed instance must not keep
// the next one out.
class InstanceLock {
public:
    virtual ~InstanceLock() = default;
    // True when this process now holds the lock (or already did).
    virtual bool tryAcquire() = 0;
    virtual void release() = 0;
};

}  // namespace nms::ports
