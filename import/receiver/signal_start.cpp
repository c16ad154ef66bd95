// The start and settling: averages in, a start out (see signal_start.h).
#include "import/receiver/signal_start.h"

#include <algorithm>
#include <cmath>

bool SignalStart::Starts(double range, double jump, double pastJump, std::uint64_t n,
                         double nominal, double noiseFloor, double fade) {
  // The noise's jumps are learnt slowly, and fast for a moment first, so the very start cannot
  // pass for one.
  const bool learning = static_cast<double>(n - waitingSince) <
                        std::max(LearningNoiseCells * nominal, LearningNoiseSamples);
  noiseJump += (learning ? 0.25 : fade) * (pastJump - noiseJump);
  return !(learning || range < 2 * noiseFloor || jump < 2 * noiseFloor ||
           jump < StartingAboveNoise * noiseJump);
}
