// The receiver: audio samples to level changes, designed from the signal. In: one channel's
// samples, block by block. Out: the level changes, on a grid of whole cells.
//
//   samples -> AC coupling undone -> minus the baseline -> cell filter -> decision at each
//                  ^                       ^                    |          cell's middle
//                  |                       |                    +-> edges -> cell clock --^
//                  |                       +-- baseline and amplitude, from the decided cells
//                  +-- droop, measured on the long runs decided
//
//   decided changes -> edge gate (glitches dropped) -> first edges held while settling -> out
//
// Each stage keeps its state in its own struct, in import/receiver/:
// - coupling_restore.h: a strong AC coupling (a phone line's 300 Hz high-pass drains much of
//   the level within a cell) undone on the samples themselves, from the droop measured along
//   long runs.
// - cell_filter.h: the average of a cell's worth of samples, the noise bandwidth of the signal;
//   at each decision the filter matched to that very cell.
// - cell_clock.h: a phase-locked loop that follows the cells' boundaries from the edges of the
//   filtered signal, placed between samples, and placed again once their ramp has passed,
//   halfway between the levels either side; it tracks a transmitter or sound card that runs
//   fast or slow, and one that drifts. Each cell's level is decided once, at its middle, where
//   the filtered signal is furthest from the edges, so noise has to be large to flip one.
// - cell_decision.h: the levels decided, and the baseline, the signal's middle between its two
//   levels; it follows a DC offset, hum, AGC and the droop of an AC-coupled input, learned from
//   the decided cells (decision feedback), fast while it lags behind them and slowly while it
//   would only chase noise. The amplitude is the signal's own, so the decisions scale with it.
// - signal_start.h: until the signal has settled (and again after a silence), baseline and
//   amplitude come from the extremes seen lately, and the clock snaps to the first edges: a
//   transmitter switched on after silence is heard from its first frame. The recording's first
//   edges are held until then, so that a false start (crosstalk, a codec's pre-echo) can be
//   taken back.
// - edge_gate.h: each change kept until the next shows the run between was no glitch.
//   (Each change can carry the weakest decision margin of the run it ends, for grading frames.)
// - receiver_statistics.h: the levels and the cell length measured, over the whole input.
//
// Level changes are handed on in cells of the nominal length (at the nominal sample rate), so
// the durations written are whole cells, whatever the clocks did. It is causal: a cell is
// decided about a cell after it ends, so it runs on live streams unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "import/receiver/cell_clock.h"
#include "import/receiver/cell_decision.h"
#include "import/receiver/cell_filter.h"
#include "import/receiver/coupling_restore.h"
#include "import/receiver/edge_gate.h"
#include "import/receiver/receiver_statistics.h"
#include "import/receiver/signal_start.h"

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
  // level changes decided by now. When `margins` is given (on every call, or on none), appends
  // beside each change the weakest decision margin of the run it ends: the smallest distance of
  // a cell's average from the middle, in amplitudes, over the cells decided in that run (0: on
  // the middle, about 1: a clean full-level cell; 0 too for a run of which no cell was decided).
  void Feed(const float* samples, std::size_t count, std::vector<double>& edges,
            std::vector<float>* margins = nullptr);

  // Decides what is left (the input ended).
  void Finish(std::vector<double>& edges, std::vector<float>* margins = nullptr);

  // The signal's levels as received (averages over the decided cells).
  double HighLevel() const;
  double LowLevel() const;
  bool SawSignal() const { return start_.sawSignal; }
  // Where a sample's time falls on the output's grid of cells (for the end of the input).
  double GridTimeOf(double sample) const;
  // The cell length the clock measured, averaged over the signal, in samples.
  double MeasuredSamplesPerCell() const;

 private:
  void Receive(const float* samples, std::size_t count, std::vector<double>& edges);
  void Step(double x, std::vector<double>& edges);
  void Settle(double average, std::uint64_t n);
  void TrackEdge(double filtered, std::uint64_t n, std::vector<double>& edges);
  void ChangeSide(double filtered, std::vector<double>& edges);
  void Refresh();
  void Wait(double average, std::uint64_t n);
  // Deciding a cell rounds and multiplies a good deal: built twice, and the copy for
  // processors with rounding instructions (x86-64-v3) is chosen when the program starts.
#if defined(__x86_64__) && !defined(__clang__)
  [[gnu::target_clones("default", "arch=x86-64-v3")]]
#endif
  void
  DecideCells(std::uint64_t n, std::vector<double>& edges);
  void EndSignal(std::vector<double>& edges);
  void Emit(double cell, std::vector<double>& edges);

  ReceiverSettings settings_;
  double nominal_;                         ///< samples per cell at the nominal cell length
  std::vector<float>* margins_ = nullptr;  ///< where the margins go, in this call (none: none)
  // The common case's view of the state (see Refresh).
  bool steady_ = false;  ///< present, settled and clocked: the fast path runs
  double middle_ = 0;    ///< the middle the filtered signal is measured from
  double band_ = 0;      ///< how far beyond it the filtered signal must go for an edge

  CouplingRestore restore_;
  CellFilter filter_;
  CellClock clock_;
  CellDecision decision_;
  SignalStart start_;
  EdgeGate gate_;
  ReceiverStatistics statistics_;
};
