// Edge times in, rounded and differenced capture records out (with their margins, when wanted).
#include "import/edge_timeline.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Edge times are kept within ±2^62 units (over three million years), so differences of two of
// them never overflow, whatever times an input file claims.
constexpr double FarthestEdge = 4611686018427387904.0;

}  // namespace

bool EdgeTimeline::Close(double tick) {
  if (runs_ > 0 && tick > lastTick_) AddEdge(tick);
  return HandOn();
}

bool EdgeTimeline::HandOn() {
  if (!refused_ && waitingCount_ > 0) {
    refused_ = graded_ ? !sink_.TakeGradedRuns(waiting_.data(), margins_.data(), waitingCount_)
                       : !sink_.TakeRuns(waiting_.data(), waitingCount_);
  }
  waitingCount_ = 0;
  return !refused_;
}

bool EdgeTimeline::AddEdge(double tick, float margin) {
  lastTick_ = tick;
  double units = tick * unitsPerTick_;
  units = std::isnan(units) ? 0 : std::clamp(units, -FarthestEdge, FarthestEdge);
  auto edge = static_cast<std::int64_t>(std::llround(units));
  std::int64_t duration = edge - previousEdge_;
  previousEdge_ = edge;
  constexpr std::int64_t Longest = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t Shortest = std::numeric_limits<std::int32_t>::min();
  if (duration > Longest || duration < Shortest) {
    duration = std::clamp(duration, Shortest, Longest);
    ++clamped_;
  }
  margins_[waitingCount_] = margin;
  waiting_[waitingCount_++] = static_cast<std::int32_t>(duration);
  fit_.Add(static_cast<std::int32_t>(duration));
  ++runs_;
  return waitingCount_ < waiting_.size() || HandOn();
}
