// Samples as a receiver can trust them. In: float samples straight from a file or a device,
// where a damaged recording may hold NaN, infinities or absurd values. Out: the same samples
// with every NaN replaced by the sample before it and everything beyond full scale (1) clipped
// to it, each case counted for the import's summary, so one bad sample cannot throw the level
// tracking off for good. The largest magnitude left is kept, to say how loud a recording was.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

struct SampleGuard {
  std::uint64_t NotNumbers = 0;
  std::uint64_t Clipped = 0;
  float Previous = 0;
  float Peak = 0;  // the largest magnitude so far, after cleaning (full scale 1)

  void Clean(float* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      float x = samples[i];
      if (std::isnan(x)) {
        x = Previous;
        ++NotNumbers;
      } else if (x > 1 || x < -1) {
        x = x > 0 ? 1.0f : -1.0f;
        ++Clipped;
      }
      samples[i] = x;
      Previous = x;
      // (x is a number by now: a plain comparison, where fmax would be a call per sample.)
      const float magnitude = std::fabs(x);
      Peak = magnitude > Peak ? magnitude : Peak;
    }
  }
};
