// First stage of the decoder: run durations to bit cells.
//
// In: a run's duration in capture units. Out: its length in whole cells,
// floor(duration x CellScale + 0.5) in double precision, as a signed 32-bit count. Durations 0
// to 3 are 0 cells, 4 to 9 one cell, 116 to 122 the 18 cells of a sync; -4 and below are
// negative counts.
#pragma once

#include <array>
#include <cstdint>

#include "common/signal_layout.h"

// floor(duration x CellScale + 0.5) in double precision, without a library call: truncation
// toward zero is floor for every value but negative non-integers, which step down by one.
constexpr std::int32_t CellsByFormula(std::int32_t duration) {
  double scaled = duration * CellScale + 0.5;
  auto truncated = static_cast<std::int32_t>(scaled);
  return truncated - (scaled < truncated ? 1 : 0);
}

// Nearly every run of a real capture is shorter than this; its cell count is looked up instead
// of computed, which takes the floating-point chain off the per-run path.
inline constexpr std::uint32_t CellTableSize = 1024;
inline constexpr auto CellTable = [] {
  std::array<std::uint8_t, CellTableSize> table{};
  for (std::uint32_t d = 0; d < CellTableSize; ++d) {
    table[d] = static_cast<std::uint8_t>(CellsByFormula(static_cast<std::int32_t>(d)));
  }
  return table;
}();

// Bit cells of a run of `duration` capture units: floor(duration x CellScale + 0.5).
inline std::int32_t CellsFromDuration(std::int32_t duration) {
  auto index = static_cast<std::uint32_t>(duration);
  return index < CellTableSize ? CellTable[index] : CellsByFormula(duration);
}
