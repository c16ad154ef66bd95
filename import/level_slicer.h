// Audio samples to level changes, for recordings made with a sound card.
//
// The slicer follows the signal's high and low levels (fast to rise to a new peak, slow to fall
// back), so a DC offset, a changing amplitude and the droop of an AC-coupled input during long
// runs all move the threshold with them. The threshold is the midpoint of the two levels; the
// level only changes once the signal leaves a band around it (the hysteresis, a fraction of the
// tracked amplitude), and the edge is placed where the signal crossed the midpoint, interpolated
// between samples. Pulses shorter than a minimum are noise: both their edges are dropped.
// Polarity does not matter: a capture only records when the level changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

struct SlicerSettings {
  double Hysteresis = 0.15;              // fraction of the tracked amplitude
  double MinRunSamples = 2;              // shorter pulses are noise
  std::optional<double> FixedThreshold;  // replaces the tracked midpoint
  double SampleRate = 44100;
};

class LevelSlicer {
 public:
  explicit LevelSlicer(const SlicerSettings& settings);

  // Feeds the next samples; appends the positions (in samples from the start, fractional) of
  // the level changes that are certain by now to `edges`.
  void Feed(const float* samples, std::size_t count, std::vector<double>& edges);

  // Hands over the last edge still held back for the noise check.
  void Finish(std::vector<double>& edges);

  double HighLevel() const { return high_; }
  double LowLevel() const { return low_; }
  bool SawSignal() const { return started_; }

 private:
  void Start(const float* samples, std::size_t count);
  void Emit(double edge, std::vector<double>& edges);

  SlicerSettings settings_;
  double release_;  // per-sample fraction by which a level falls back toward the signal
  double high_ = 0, low_ = 0;
  bool started_ = false;
  bool level_ = false;
  double previous_ = 0;            // previous sample
  double lastMidCrossing_ = -1;    // where the signal last crossed the midpoint
  double newestEdge_ = -1;         // the latest edge found, kept or dropped
  std::uint64_t position_ = 0;     // index of the next sample
  std::optional<double> pending_;  // newest edge, kept until the next one shows it was no glitch
};
