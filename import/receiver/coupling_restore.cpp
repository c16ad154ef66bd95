// The coupling restore: samples in, the samples with a strong AC coupling undone out (see
// coupling_restore.h).
#include "import/receiver/coupling_restore.h"

#include <algorithm>
#include <cmath>

const float* CouplingRestore::Restore(const float* samples, std::size_t part, double period) {
  if (gain > 0) {
    for (std::size_t i = 0; i < part; ++i) {
      inputMean += (samples[i] - inputMean) * (1 - keep);
      sum = sum * keep + (samples[i] - inputMean);
      restored[i] = static_cast<float>(samples[i] + gain * sum);
    }
    return restored.data();
  }
  // Where cells are short enough to be restored, the mean is kept while nothing is restored
  // too, a part at a time, to start from.
  if (period < RestoreBelowSamples) {
    float partSum = 0;
    for (std::size_t i = 0; i < part; ++i) partSum += samples[i];
    const double share = std::min(1.0, static_cast<double>(part) * (1 - keep));
    inputMean += (partSum / static_cast<double>(part) - inputMean) * share;
  }
  return samples;
}

// A long run has ended: what it shows of the droop moves the restoring towards it. On a
// restored signal, how far the level falls from the run's second cell to its last but one is
// what is still left.
void CouplingRestore::MeasureDroop(int level, double amplitude, double slow, double period) {
  const double inside = static_cast<double>(runCells - 3);
  const double fall = level * (runSecond - lastAverages[1]) / (inside * amplitude);
  const double undone = gain > 0 ? restoredDroop : 0;
  restoredDroop = std::clamp(restoredDroop + RestoreRate * (undone + fall - restoredDroop), 0.0,
                             LargestRestored);
  slowMean += RestoreRate * (slow - slowMean);
  slowSwing += RestoreRate * (std::abs(slow - slowMean) - slowSwing);
  const bool on = gain > 0;
  const bool restoring = restoredDroop > (on ? RestoreBelow : RestoreAbove) &&
                         slowSwing < (on ? SteadyWhileRestored : SteadyToRestore) * amplitude;
  if (!restoring) {
    gain = 0;
    sum = 0;
    return;
  }
  // (At most half a sample's level per sample: a coupling faster than a sample is no signal.)
  const double perSample = std::min(1 - std::pow(1 - restoredDroop, 1 / period), 0.5);
  gain = perSample / (1 - perSample);
}
