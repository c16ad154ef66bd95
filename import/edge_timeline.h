// Level changes to runs, streamed: each edge's time is converted to capture units and rounded,
// and the durations are the differences of the rounded times, so rounding never accumulates over
// long recordings. The start and the end of the recording count as edges, so the first and the
// last stretch are runs too. The runs go to a sink (a capture file, a decode session) whenever
// HandOn() is called and whenever a block of them is full; when the sink wants them, each with
// the weakest decision margin of its cells (a run without one, as from a logic trace, has none:
// infinity).
#pragma once

#include <array>
#include <cstdint>
#include <limits>

#include "common/run_sink.h"
#include "timing/cell_length_fit.h"

class EdgeTimeline {
 public:
  static constexpr float NoMargin = std::numeric_limits<float>::infinity();

  // `sink` receives the runs; `unitsPerTick` converts edge times (in samples, VCD ticks or
  // seconds) to capture units, the import's --scale included.
  EdgeTimeline(RunSink& sink, double unitsPerTick) : sink_(sink), unitsPerTick_(unitsPerTick) {}

  // A level change at `tick` (fractional ticks allowed), measured from the start of the recording,
  // ending a run whose weakest decision margin is `margin`. False once the sink takes no more.
  bool AddEdge(double tick, float margin = NoMargin);

  // Hands the runs so far to the sink. False once the sink takes no more.
  bool HandOn();

  // The recording ends at `tick`: the stretch since the last edge becomes the last run, and
  // every run goes to the sink.
  bool Close(double tick);

  std::uint64_t RunsWritten() const { return runs_; }
  std::uint64_t RunsClamped() const { return clamped_; }
  const CellLengthFit& Fit() const { return fit_; }

 private:
  RunSink& sink_;
  double unitsPerTick_;
  std::array<std::int32_t, 1024> waiting_{};  // runs not yet handed on
  std::array<float, 1024> margins_{};         // their margins, when the sink wants them
  bool graded_ = sink_.WantsMargins();
  std::size_t waitingCount_ = 0;
  bool refused_ = false;  // the sink takes no more
  std::int64_t previousEdge_ = 0;
  double lastTick_ = 0;
  std::uint64_t runs_ = 0;
  std::uint64_t clamped_ = 0;  // beyond what a 32-bit duration holds
  CellLengthFit fit_;
};
