#include "stats/frm_statistics.h"

#include "protocol/paging.h"

namespace nms::stats {
frmStatistics::frmStatistics(station::StationContext& context, const ports::Label& lblElementType)
    : tmrAutoRefresh(context.scheduler(), context.gate(), 1000),
      context_(context),
      lblElementType_(lblElementType),
      socket_(context, protocol::kPortStatistics, protocol::kPortStatistics) {}
frmStatistics::~frmStatistics() = default;
void frmStatistics::open() {}
}  // namespace nms::stats
