// Values that travel between the stages of one frame: run lengths from the capture, the level
// label of a run, and the four symbols of a group with the frame parity they belong to.
#pragma once

#include <array>
#include <cstdint>

#include "common/signal_layout.h"

// Length of one run in capture units; 6.623 units make one bit cell of 0.15 ms.
using RunDuration = std::int32_t;

// 0 for the first run of a capture, then alternating run by run. Only labels a sync.
using Polarity = int;

// Frame parity: ODD frames carry positions of channels 1, 3, 5, 7; EVEN frames of 2, 4, 6, 8.
inline constexpr int OddFrame = 0;
inline constexpr int EvenFrame = 1;

// Four 6-bit symbols of one group, in the order received.
using PcmGroupSymbols = std::array<std::uint32_t, SymbolsPerGroup>;
