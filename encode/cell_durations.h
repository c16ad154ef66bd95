// Cells to capture units. One bit cell is 6.623 units; each edge's time is rounded to a whole
// unit and the durations are the differences of edge times, so rounding never accumulates.
//
// A duration decodes to its cell count while it stays within 3.31 units of cells x 6.623. Two
// rounded edges are each off by up to 0.5 plus their jitter, so a jitter of up to
// MaxSafeJitter units per edge never changes a decoded cell count.
#pragma once

#include <cstdint>
#include <vector>

#include "common/signal_layout.h"
#include "encode/run_lengths.h"
#include "encode/seeded_random.h"
#include "files/capture_file.h"

inline constexpr double MaxSafeJitter = 1.15;

// Runs of cells to durations, one run at a time: the clock keeps the exact time of the last edge,
// so rounding never accumulates however many runs follow. Every edge moves by a random amount
// in [-jitter, +jitter] before it is rounded; jitter 0 draws nothing from `random`.
class DurationClock {
 public:
  DurationClock(double jitter, SeededRandom& random, double unitsPerCell = UnitsPerCell)
      : jitter_(jitter), random_(random), unitsPerCell_(unitsPerCell) {}

  // The duration of the next run, of `cells` cells.
  std::int32_t Next(std::int32_t cells);

 private:
  double jitter_;
  SeededRandom& random_;
  double unitsPerCell_;
  std::int64_t cellsSoFar_ = 0;
  std::int64_t previousEdge_ = 0;
};

// Turns a whole list of runs of cells into durations, as DurationClock does run by run.
RunDurations DurationsFromCells(const CellRuns& runs, double jitter, SeededRandom& random,
                                double unitsPerCell = UnitsPerCell);
