// Run durations in, the cell length they were recorded with out.
#include "import/cell_length_fit.h"

#include <cmath>

#include "common/signal_layout.h"

namespace {

// Runs inside frames are at most 15 cells and syncs 18; longer ones are idle time.
constexpr double LongestTimedRun = 24;
constexpr double LongestTrustedAtFirst = 8;
constexpr int Passes = 6;

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

double CellLengthFit::MeasuredUnitsPerCell() const {
  double length = UnitsPerCell;
  for (int pass = 0; pass < Passes; ++pass) {
    double longest = pass == 0 ? LongestTrustedAtFirst : LongestTimedRun;
    double sumCellsTimesDuration = 0, sumCellsSquared = 0;
    for (std::size_t d = 1; d < LongestDuration; ++d) {
      double cells = std::round(static_cast<double>(d) / length);
      if (counts_[d] == 0 || cells < 1 || cells > longest) continue;
      auto n = static_cast<double>(counts_[d]);
      sumCellsTimesDuration += n * cells * static_cast<double>(d);
      sumCellsSquared += n * cells * cells;
    }
    if (sumCellsSquared == 0) return length;
    length = sumCellsTimesDuration / sumCellsSquared;
  }
  return length;
}

double CellLengthFit::PercentOffNominal() const {
  return (MeasuredUnitsPerCell() / UnitsPerCell - 1) * 100;
}

double CellLengthFit::ScaleToNominal() const {
  return UnitsPerCell / MeasuredUnitsPerCell();
}
