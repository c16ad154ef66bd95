// Bits to runs: equal neighbouring bits merge into one run of that many cells.
#pragma once

#include <cstdint>
#include <vector>

#include "encode/frame_bits.h"

// Cell counts of successive runs; levels alternate from run to run.
using CellRuns = std::vector<std::int32_t>;

// Appends the runs of `bits` as the decoder reads them after a sync, where the first run counts
// as level 0: bits that start with 1 are preceded by a run of 0 cells.
void AppendRunsAfterSync(CellRuns& runs, const BitStream& bits);
