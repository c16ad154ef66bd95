// Runs of cells in, capture durations out, edge times rounded so rounding never adds up.
#include "encode/cell_durations.h"

#include <cmath>

std::int32_t DurationClock::Next(std::int32_t cells) {
  cellsSoFar_ += cells;
  double offset = jitter_ > 0 ? random_.Between(-jitter_, jitter_) : 0.0;
  auto edge = static_cast<std::int64_t>(
      std::llround(static_cast<double>(cellsSoFar_) * unitsPerCell_ + offset));
  auto duration = static_cast<std::int32_t>(edge - previousEdge_);
  previousEdge_ = edge;
  return duration;
}

RunDurations DurationsFromCells(const CellRuns& runs, double jitter, SeededRandom& random,
                                double unitsPerCell) {
  DurationClock clock(jitter, random, unitsPerCell);
  RunDurations durations;
  durations.reserve(runs.size());
  for (std::int32_t cells : runs) durations.push_back(clock.Next(cells));
  return durations;
}
