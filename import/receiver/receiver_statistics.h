// The receiver's statistics. In: the decided cells' averages and the periods the clock
// measured. Out: the signal's levels as received and its cell length, over the whole input.
#pragma once

#include <array>
#include <cstdint>

struct ReceiverStatistics {
  void AddCell(double average, int level) {
    levelSums[level > 0] += average;
    ++levelCounts[level > 0];
  }
  void AddPeriod(double period) {
    periodSum += period;
    ++periodCount;
  }
  // The mean of a level's cells (1: high, 0: low), or `otherwise` before any.
  double Level(bool high, double otherwise) const {
    return levelCounts[high] > 0 ? levelSums[high] / static_cast<double>(levelCounts[high])
                                 : otherwise;
  }
  // The mean period measured, or `otherwise` before any.
  double Period(double otherwise) const {
    return periodCount > 0 ? periodSum / static_cast<double>(periodCount) : otherwise;
  }

  std::array<double, 2> levelSums{};           ///< the decided cells' averages: low, high
  std::array<std::uint64_t, 2> levelCounts{};  ///< the decided cells: low, high
  double periodSum = 0;                        ///< the periods measured at the locked edges
  std::uint64_t periodCount = 0;               ///< the locked edges
};
