// Run durations in, the cell length they were recorded with out.
#include "timing/cell_length_fit.h"

#include <cmath>

#include "common/signal_layout.h"

namespace {

// Runs inside frames are at most 15 cells and syncs 18; longer ones are idle time.
constexpr double LongestTimedRun = 24;
// The search covers a transmitter or sound card this far off; beyond, it cannot tell.
constexpr double SearchedOffset = 0.08;
constexpr double SearchStep = 0.0002;  // relative; the comb's peak is about 1 percent wide
// A run counts in the comb by how near it falls to whole cells: fully at a whole cell, not at
// all this far (in cells) or farther from one.
constexpr double CombWidth = 0.4;
// The least-squares refinement leaves out runs this far (in cells) from a whole cell: spikes
// and runs the comb could not place.
constexpr double FarestRefined = 0.3;
constexpr int RefinePasses = 3;

}  // namespace

void CellLengthFit::Add(std::int32_t duration, std::uint64_t count) {
  if (duration > 0 && static_cast<std::size_t>(duration) < LongestDuration) {
    counts_[static_cast<std::size_t>(duration)] += count;
  }
}

bool CellLengthFit::HasData() const {
  for (std::size_t d = 4; d < LongestDuration; ++d) {  // 4 units is the shortest whole cell
    if (counts_[d] > 0) return true;
  }
  return false;
}

double CellLengthFit::CombScore(double length) const {
  double score = 0;
  for (std::size_t d = 1; d < LongestDuration; ++d) {
    if (counts_[d] == 0) continue;
    double cells = static_cast<double>(d) / length;
    double whole = std::round(cells);
    if (whole < 1 || whole > LongestTimedRun) continue;
    double miss = (cells - whole) / CombWidth;
    if (miss * miss < 1) score += static_cast<double>(counts_[d]) * (1 - miss * miss);
  }
  return score;
}

double CellLengthFit::MeasuredUnitsPerCell() const {
  if (!HasData()) return UnitsPerCell;
  // Every length in the searched range is scored by how near all durations fall to whole cells
  // of it; the best one is then refined by least squares. Half the cell length (or a third) would
  // fit every run as well, but lies far outside the range, as do multiples, which leave the odd
  // runs half a cell off; so the length found is the signal's own.
  double length = UnitsPerCell, best = -1;
  for (double f = 1 - SearchedOffset; f <= 1 + SearchedOffset; f += SearchStep) {
    double score = CombScore(UnitsPerCell * f);
    if (score > best) best = score, length = UnitsPerCell * f;
  }
  for (int pass = 0; pass < RefinePasses; ++pass) {
    double sumCellsTimesDuration = 0, sumCellsSquared = 0;
    for (std::size_t d = 1; d < LongestDuration; ++d) {
      if (counts_[d] == 0) continue;
      double cells = static_cast<double>(d) / length;
      double whole = std::round(cells);
      if (whole < 1 || whole > LongestTimedRun || std::abs(cells - whole) > FarestRefined) continue;
      auto n = static_cast<double>(counts_[d]);
      sumCellsTimesDuration += n * whole * static_cast<double>(d);
      sumCellsSquared += n * whole * whole;
    }
    if (sumCellsSquared == 0) break;
    length = sumCellsTimesDuration / sumCellsSquared;
  }
  return length;
}

double CellLengthFit::PercentOffNominal() const {
  return (MeasuredUnitsPerCell() / UnitsPerCell - 1) * 100;
}

double CellLengthFit::ClockFactor() const {
  return MeasuredUnitsPerCell() / UnitsPerCell;
}
