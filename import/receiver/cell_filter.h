// The receiver's cell filter. In: the samples, one at a time. Out: each sample's cell-long
// running average (the filter's output, whose crossings of the middle are the edges), and for a
// cell of any length and placing the average of the samples inside it (the filter matched to
// that very cell, at its decision).
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

struct CellFilter {
  static constexpr std::size_t History = 256;  // samples kept, a power of two
  static constexpr std::uint64_t Mask = History - 1;

  explicit CellFilter(double nominal)
      : window(
            std::clamp<std::size_t>(static_cast<std::size_t>(std::floor(nominal)), 1, History / 4)),
        delay((static_cast<double>(window) - 1) / 2),
        inverseWindow(1 / static_cast<double>(window)) {}

  // Takes the next sample; returns its running average.
  double Push(double x) {
    const std::uint64_t n = position++;
    windowSum += x - recent[(n - window) & Mask];
    recent[n & Mask] = x;
    const double average = windowSum * inverseWindow;
    averages[n & Mask] = average;
    return average;
  }

  // The running average that ended at sample n (one of the latest History samples).
  double Average(std::uint64_t n) const { return averages[n & Mask]; }

  // Sample k stands for the signal over [k - 0.5, k + 0.5): the samples inside count whole, the
  // two at the ends by the share of them inside. Samples before the first count as nothing.
  // (Inlined: it is most of the work per cell.)
  [[gnu::always_inline]] inline double CellAverage(double start, double end,
                                                   double inversePeriod) const {
    const double first = std::floor(start + 0.5), last = std::floor(end + 0.5);
    auto sample = [&](double k) {
      return k < 0 ? 0.0 : recent[static_cast<std::uint64_t>(k) & Mask];
    };
    if (last <= first) return sample(first);
    double sum = (first + 0.5 - start) * sample(first) + (end - last + 0.5) * sample(last);
    // The whole samples between: the filter's window that ends before the last, widened or
    // narrowed by the few samples the cell differs from it by.
    auto from = std::max<std::int64_t>(static_cast<std::int64_t>(first) + 1, 0);
    const auto to = static_cast<std::int64_t>(last);  // one past the whole samples
    const auto windowFrom = to - static_cast<std::int64_t>(window);
    if (windowFrom >= 0 && to > from && static_cast<double>(position) - last < History / 2) {
      sum += averages[static_cast<std::uint64_t>(to - 1) & Mask] * static_cast<double>(window);
      for (auto k = from; k < windowFrom; ++k) sum += recent[static_cast<std::uint64_t>(k) & Mask];
      for (auto k = windowFrom; k < from; ++k) sum -= recent[static_cast<std::uint64_t>(k) & Mask];
      return sum * inversePeriod;
    }
    for (auto k = from; k < to; ++k) sum += recent[static_cast<std::uint64_t>(k) & Mask];
    return sum / (end - start);
  }

  const std::size_t window;    ///< samples averaged: a cell's worth, at most a quarter of History
  const double delay;          ///< the filter's delay, in samples
  const double inverseWindow;  ///< 1 / window
  std::array<double, History> recent{};    ///< the latest samples
  std::array<double, History> averages{};  ///< their running averages
  std::uint64_t position = 0;              ///< index of the next sample
  double windowSum = 0;                    ///< the sum of the latest `window` samples
};
