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

// Turns runs of cells into durations. Every edge moves by a random amount in
// [-jitter, +jitter] before it is rounded; jitter 0 draws nothing from `random`.
RunDurations DurationsFromCells(const CellRuns& runs, double jitter, SeededRandom& random,
                                double unitsPerCell = UnitsPerCell);
