// Audio samples in, level-change times between samples out.
#include "import/level_slicer.h"

#include <algorithm>
#include <cmath>

namespace {

// How fast a tracked level falls back toward the signal: a time constant of several sync runs,
// long enough to hold through the longest run and short enough to follow a fading recording.
constexpr double ReleaseSeconds = 0.02;

// Below this amplitude (full scale is 1) there is no signal to slice, only noise.
constexpr double NoiseFloor = 0.01;

}  // namespace

LevelSlicer::LevelSlicer(const SlicerSettings& settings)
    : settings_(settings), release_(1 - std::exp(-1 / (ReleaseSeconds * settings.SampleRate))) {}

void LevelSlicer::Start(const float* samples, std::size_t count) {
  auto [lowest, highest] = std::minmax_element(samples, samples + count);
  if (*highest - *lowest < NoiseFloor) return;
  high_ = *highest;
  low_ = *lowest;
  double mid = settings_.FixedThreshold.value_or((high_ + low_) / 2);
  level_ = samples[0] > mid;
  previous_ = samples[0];
  started_ = true;
}

void LevelSlicer::Feed(const float* samples, std::size_t count, std::vector<double>& edges) {
  if (count == 0) return;
  std::size_t first = 0;
  if (!started_) {
    Start(samples, count);
    if (!started_) {
      position_ += count;
      return;
    }
    first = 1;  // the first sample only sets the starting level
    ++position_;
  }
  for (std::size_t i = first; i < count; ++i, ++position_) {
    double x = samples[i];
    high_ = x > high_ ? x : high_ - (high_ - x) * release_;
    low_ = x < low_ ? x : low_ + (x - low_) * release_;
    double mid = settings_.FixedThreshold.value_or((high_ + low_) / 2);
    double band = std::max(settings_.Hysteresis * (high_ - low_), NoiseFloor) / 2;

    if ((previous_ < mid) != (x < mid)) {
      lastMidCrossing_ = static_cast<double>(position_) - 1 + (mid - previous_) / (x - previous_);
    }
    bool level = level_ ? x >= mid - band : x > mid + band;
    if (level != level_) {
      level_ = level;
      // The midpoint moves with the levels; if no crossing was seen since the newest edge, the
      // edge is this sample.
      double crossing =
          lastMidCrossing_ > newestEdge_ ? lastMidCrossing_ : static_cast<double>(position_);
      Emit(crossing, edges);
    }
    previous_ = x;
  }
}

void LevelSlicer::Emit(double edge, std::vector<double>& edges) {
  newestEdge_ = edge;
  if (pending_) {
    if (edge - *pending_ < settings_.MinRunSamples) {
      pending_.reset();  // a pulse too short to be a run: drop both of its edges
      return;
    }
    edges.push_back(*pending_);
  }
  pending_ = edge;
}

void LevelSlicer::Finish(std::vector<double>& edges) {
  if (pending_) edges.push_back(*pending_);
  pending_.reset();
}
