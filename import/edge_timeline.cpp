// Edge times in, rounded and differenced capture records out.
#include "import/edge_timeline.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "files/capture_file.h"

namespace {

// Edge times are kept within ±2^62 units (over three million years), so differences of two of
// them never overflow, whatever times an input file claims.
constexpr double FarthestEdge = 4611686018427387904.0;

}  // namespace

void EdgeTimeline::Close(double tick) {
  if (runs_ > 0 && tick > lastTick_) AddEdge(tick);
}

void EdgeTimeline::AddEdge(double tick) {
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
  WriteCaptureRecord(output_, static_cast<std::int32_t>(duration));  // errors show at Commit()
  fit_.Add(static_cast<std::int32_t>(duration));
  ++runs_;
}
