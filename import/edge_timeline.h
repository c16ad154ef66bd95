// Level changes to a capture file, streamed: each edge's time is converted to capture units and
// rounded, and the durations are the differences of the rounded times, so rounding never
// accumulates over long recordings. The start and the end of the recording count as edges, so
// the first and the last stretch are runs too.
#pragma once

#include <cstdint>
#include <cstdio>

#include "import/cell_length_fit.h"

class EdgeTimeline {
 public:
  // `output` receives the little-endian records; `unitsPerTick` converts edge times (in samples,
  // VCD ticks or seconds) to capture units, the import's --scale included.
  EdgeTimeline(std::FILE* output, double unitsPerTick)
      : output_(output), unitsPerTick_(unitsPerTick) {}

  // A level change at `tick` (fractional ticks allowed), measured from the start of the recording.
  void AddEdge(double tick);

  // The recording ends at `tick`: the stretch since the last edge becomes the last run.
  void Close(double tick);

  std::uint64_t RunsWritten() const { return runs_; }
  std::uint64_t RunsClamped() const { return clamped_; }
  const CellLengthFit& Fit() const { return fit_; }

 private:
  std::FILE* output_;
  double unitsPerTick_;
  std::int64_t previousEdge_ = 0;
  double lastTick_ = 0;
  std::uint64_t runs_ = 0;
  std::uint64_t clamped_ = 0;  // beyond what a 32-bit duration holds
  CellLengthFit fit_;
};
