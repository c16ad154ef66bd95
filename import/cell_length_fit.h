// Measures the cell length of a capture from its own runs: every duration is matched to its
// nearest whole number of cells, and the least-squares line through the origin of duration
// against cells gives the units per cell actually in the data. A recording whose transmitter or
// sound card runs a little fast or slow shows here as a length off 6.623.
//
// The durations are kept as a histogram, so memory is fixed and the fit can be refined: the
// first pass trusts only short runs (up to 8 cells, which stay matched to the right count even
// 6 percent off), each later pass matches all runs to the length found by the one before.
#pragma once

#include <array>
#include <cstdint>

class CellLengthFit {
 public:
  // Adds `count` runs of `duration`; runs of no whole cell and runs too long to be cell-timed
  // are skipped.
  void Add(std::int32_t duration, std::uint64_t count = 1);

  bool HasData() const;

  // Units per cell measured; the nominal length when there is no data.
  double MeasuredUnitsPerCell() const;

  // How far the measured cell is from the nominal one, in percent (positive: longer, slower).
  double PercentOffNominal() const;

  // The --scale that makes a new import come out at the nominal cell length.
  double ScaleToNominal() const;

 private:
  static constexpr std::size_t LongestDuration = 256;  // about 38 cells
  std::array<std::uint64_t, LongestDuration> counts_{};
};
