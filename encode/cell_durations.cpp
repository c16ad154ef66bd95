// Runs of cells in, capture durations out, edge times rounded so rounding never adds up.
#include "encode/cell_durations.h"

#include <cmath>

RunDurations DurationsFromCells(const CellRuns& runs, double jitter, SeededRandom& random,
                                double unitsPerCell) {
  RunDurations durations;
  durations.reserve(runs.size());
  std::int64_t cellsSoFar = 0;
  std::int64_t previousEdge = 0;
  for (std::int32_t cells : runs) {
    cellsSoFar += cells;
    double offset = jitter > 0 ? random.Between(-jitter, jitter) : 0.0;
    auto edge = static_cast<std::int64_t>(
        std::llround(static_cast<double>(cellsSoFar) * unitsPerCell + offset));
    durations.push_back(static_cast<std::int32_t>(edge - previousEdge));
    previousEdge = edge;
  }
  return durations;
}
