#include "sfn/frm_adjust.h"

#include "protocol/paging.h"

namespace nms::sfn {
frmAdjust::frmAdjust(station::StationContext& context, const ports::Label& lblElementType)
    : Timer1(context.scheduler(), context.gate(), 250),
      Timer2(context.scheduler(), context.gate(), 1000),
      context_(context),
      lblElementType_(lblElementType),
      socket_(context, protocol::kPortStatistics, protocol::kPortStatistics) {}
frmAdjust::~frmAdjust() = default;
void frmAdjust::open() {}
}  // namespace nms::sfn
