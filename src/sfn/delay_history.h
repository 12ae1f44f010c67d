#pragma once
// Placeholder: replaced by the delay history.
namespace nms::sfn {
class DelayHistory {};
}  // namespace nms::sfn
