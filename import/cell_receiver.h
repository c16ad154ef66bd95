// The receiver: audio samples to level changes, designed from the signal. In: one channel's
// samples, block by block. Out: the level changes, on a grid of whole cells.
//
//   samples -> AC coupling undone -> minus the baseline -> cell filter -> decision at each
//                  ^                       ^                    |          cell's middle
//                  |                       |                    +-> edges -> cell clock --^
//                  |                       +-- baseline and amplitude, from the decided cells
//                  +-- droop, measured on the long runs decided
//
// - The filter averages a cell's worth of samples, the noise bandwidth of the signal.
// - A cell clock (a phase-locked loop) follows the cells' boundaries from the edges of the
//   filtered signal, placed between samples, and placed again once their ramp has passed,
//   halfway between the levels either side; it tracks a transmitter or sound card that runs
//   fast or slow, and one that drifts. Each cell's level is decided once, at its middle, where
//   the filtered signal is furthest from the edges, so noise has to be large to flip one.
// - The baseline is the signal's middle between its two levels; it follows a DC offset, hum,
//   AGC and the droop of an AC-coupled input, learned from the decided cells (decision
//   feedback), fast while it lags behind them and slowly while it would only chase noise. The
//   amplitude is the signal's own, so the decisions scale with it.
// - A strong AC coupling (a phone line's 300 Hz high-pass) drains much of the level within a
//   cell; it is undone on the samples themselves, from the droop measured along long runs.
// - Until the signal has settled (and again after a silence), baseline and amplitude come from
//   the extremes seen lately, and the clock snaps to the first edges: a transmitter switched on
//   after silence is heard from its first frame. The recording's first edges are held until
//   then, so that a false start (crosstalk, a codec's pre-echo) can be taken back.
//
// Level changes are handed on in cells of the nominal length (at the nominal sample rate), so
// the durations written are whole cells, whatever the clocks did. It is causal: a cell is
// decided about a cell after it ends, so it runs on live streams unchanged.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

struct ReceiverSettings {
  double SampleRate = 44100;
  // Cells of this length, in units of the nominal one, when given; tracked when not.
  std::optional<double> FixedCellLength;
  std::optional<double> FixedThreshold;  // a fixed middle instead of the tracked baseline
  double MinRunCells = 0;                // runs shorter than this are dropped (0: none)
};

class CellReceiver {
 public:
  explicit CellReceiver(const ReceiverSettings& settings);

  // Feeds the next samples; appends the times (in samples at the nominal cell length) of the
  // level changes decided by now.
  void Feed(const float* samples, std::size_t count, std::vector<double>& edges);

  // Decides what is left (the input ended).
  void Finish(std::vector<double>& edges);

  // The signal's levels as received (averages over the decided cells).
  double HighLevel() const;
  double LowLevel() const;
  bool SawSignal() const { return sawSignal_; }
  // Where a sample's time falls on the output's grid of cells (for the end of the input).
  double GridTimeOf(double sample) const;
  // The cell length the clock measured, averaged over the signal, in samples.
  double MeasuredSamplesPerCell() const;

 private:
  void Receive(const float* samples, std::size_t count, std::vector<double>& edges);
  void MeasureDroop();
  void Step(double x, std::vector<double>& edges);
  void Settle(double average, std::uint64_t n);
  void TrackEdge(double filtered, std::uint64_t n, std::vector<double>& edges);
  void ChangeSide(double filtered, std::vector<double>& edges);
  void RefineEdge();
  void Follow(double error, double span, bool acquiring);
  void Refresh();
  void Wait(double average, std::uint64_t n);
  // Deciding a cell rounds and multiplies a good deal: built twice, and the copy for
  // processors with rounding instructions (x86-64-v3) is chosen when the program starts.
#if defined(__x86_64__) && !defined(__clang__)
  [[gnu::target_clones("default", "arch=x86-64-v3")]]
#endif
  void
  DecideCells(std::uint64_t n, std::vector<double>& edges);
  void Emit(double cellIndex, std::vector<double>& edges);
  void Hand(double edge, std::vector<double>& edges);
  void HandOnHeld(std::vector<double>& edges);
  // (Inlined: it is most of the work per cell.)
  [[gnu::always_inline]] inline double CellAverage(double start, double end) const;

  ReceiverSettings settings_;
  double nominal_;      // samples per cell at the nominal cell length
  std::size_t window_;  // samples averaged: at most a cell
  double delay_;        // the filter's delay, in samples
  double inverseWindow_;
  std::uint64_t decideAt_ = 0;  // the sample at which the next cell can be decided

  // The common case's view of the state (see Refresh).
  bool steady_ = false;
  double middle_ = 0, band_ = 0;

  static constexpr std::size_t History = 256;  // samples kept, a power of two
  std::array<double, History> recent_{};       // the latest samples
  std::array<double, History> averages_{};     // their cell-long averages
  std::uint64_t position_ = 0;                 // index of the next sample
  double windowSum_ = 0;

  // Levels.
  double baseline_ = 0, amplitude_ = 0;
  double droop_ = 0;           // share of the way to the input's mean the signal decays per cell
  double slow_ = 0;            // the input's own baseline: DC, hum, AGC
  double baselineRate_ = 0.5;  // how fast it follows the misses
  // The misses' size, and how alike they are to the one before and to the one four before.
  double missSquare_ = 0, missNear_ = 0, missFar_ = 0;
  std::array<double, 4> lastMisses_{};
  int cellsSinceRate_ = 0;
  double lost_ = 0;                  // what an AC coupling has taken away from the level held
  double lastDroopStep_ = 0;         // what the previous cell would teach the droop
  int levelBefore_ = 0;              // the level of the cell before the last
  double highest_ = 0, lowest_ = 0;  // extremes seen lately, while settling
  int settling_ = 0;                 // edges still to learn from the extremes
  double noiseJump_ = 0;             // how far the average moves in a cell without a signal
  bool present_ = false, sawSignal_ = false;

  // A strong AC coupling undone before the filter (see Feed): the droop per cell it undoes, and
  // per sample the share of the samples' running sum added back, and the sum. The droop is
  // measured on long runs.
  double restoredDroop_ = 0;
  double restoreGain_ = 0, restoreKeep_ = 1, restoreSum_ = 0, inputMean_ = 0;
  double slowMean_ = 0, slowSwing_ = 0;  // how far the input's own baseline moves
  std::array<float, 512> restored_{};
  int runCells_ = 0;                      // cells decided in the current run
  double runSecond_ = 0;                  // the average of its second
  std::array<double, 2> lastAverages_{};  // of the last cell and the one before

  // Edges of the filtered signal, for the clock.
  int side_ = 0;                // which side of the middle beyond the hysteresis: +1, -1, 0
  double startCountdown_ = -1;  // samples until the first edge is placed
  double previousFiltered_ = 0;
  double lastCrossing_ = 0;

  // The cell clock: boundary k lies at phase_ + (k - anchorCell_) * period_ samples.
  double phase_ = 0, period_;
  double inversePeriod_;
  double periodSum_ = 0;  // for the average measured
  std::uint64_t periodCount_ = 0;
  int acquiring_ = 0;            // edges still taken with high gain (the clock has just started)
  std::int64_t anchorCell_ = 0;  // the cell whose boundary lies at phase_
  std::int64_t nextCell_ = 0;    // the next cell to decide
  bool clocked_ = false;
  // The latest edge, to be placed again once its ramp has passed (see RefineEdge).
  std::uint64_t refineAt_ = 0;  // the sample at which to (0: none)
  double refineCrossing_ = 0, refineMiddle_ = 0, refineSpan_ = 1;

  // Decisions.
  int level_ = 0;       // the last cell's level: +1, -1, 0 before the first
  int quietCells_ = 0;  // cells in a row near the middle
  std::array<std::pair<std::int64_t, double>, 2> heldCells_{};  // the first of them
  std::uint64_t waitingSince_ = 0, presentSince_ = 0;
  double cellsSent_ = 0;           // cells handed on so far (the output's time)
  std::optional<double> pending_;  // the newest edge, kept until the next shows it was no glitch
  // The first signal's edges, held until it has settled, and its range when it started.
  bool holdingFirst_ = true;
  std::array<double, 32> heldEdges_{};
  std::size_t heldCount_ = 0;
  double startRange_ = 0;
  std::array<double, 2> levelSums_{};  // of the decided cells' averages: low, high
  std::array<std::uint64_t, 2> levelCounts_{};
};
