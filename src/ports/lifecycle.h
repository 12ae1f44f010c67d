#pragma once

namespace nms::ports {

// Ending the program. The station calls it once; a real adapter ends the process with the
// status after the event in progress has returned, a test fake records it.
class Lifecycle {
public:
    virtual ~Lifecycle() = default;
    virtual void exitProgram(int status) = 0;
};

}  // namespace nms::ports
