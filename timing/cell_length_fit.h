// Measures the cell length of a capture from its own runs. In: run durations. Out: the units per
// cell actually in the data. A recording whose transmitter or sound card runs a little fast or
// slow shows here as a length off 6.623.
//
// The durations are kept as a histogram, so memory is fixed and the fit can look at them many
// times. First every length up to 8 percent either side of 6.623 is scored like a comb laid over
// the histogram (how near all durations fall to whole cells of it), which places even the long
// runs and the syncs right when the timing is so far off that they round to the wrong count;
// then every duration is matched to its nearest whole number of cells of the best length, and
// the least-squares line through the origin of duration against cells gives the length.
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

  // The transmitter's clock factor the cells show, as --scale takes it: the measured length
  // over the nominal one (1.03: a transmitter 3 percent slow, its cells 3 percent long).
  double ClockFactor() const;

 private:
  static constexpr std::size_t LongestDuration = 256;  // about 38 cells
  // Runs near whole cells of `length`, each weighed by how near.
  double CombScore(double length) const;

  std::array<std::uint64_t, LongestDuration> counts_{};
};
