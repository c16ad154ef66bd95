#include "capture/edge_timeline.h"

#include <cmath>
#include <limits>

#include "capture/capture_file.h"

void EdgeTimeline::Close(double tick) {
  if (runs_ > 0 && tick > lastTick_) AddEdge(tick);
}

void EdgeTimeline::AddEdge(double tick) {
  lastTick_ = tick;
  auto edge = static_cast<std::int64_t>(std::llround(tick * unitsPerTick_));
  std::int64_t duration = edge - previousEdge_;
  previousEdge_ = edge;
  if (duration > std::numeric_limits<std::int32_t>::max()) {
    duration = std::numeric_limits<std::int32_t>::max();
    ++clamped_;
  }
  WriteCaptureRecord(output_, static_cast<std::int32_t>(duration));  // errors show at Commit()
  fit_.Add(static_cast<std::int32_t>(duration));
  ++runs_;
}
