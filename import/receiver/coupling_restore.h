// The receiver's coupling restore. In: the input's samples, and the long runs decided (their
// second cell and their last but one). Out: the samples with a strong AC coupling undone (a
// phone line's 300 Hz high-pass drains much of the level within a cell), or the samples
// unchanged while no such coupling is measured.
//
// The input's AC coupling passes changes and drains the level held: each sample loses a share
// of what the coupling has held back so far, which is the running sum of what came out of it,
// scaled. Adding that back restores the level sent. What comes out of a coupling averages to
// nothing, so the input's own mean (an offset added after it) is left out of the sum.
#pragma once

#include <array>
#include <cstddef>

struct CouplingRestore {
  // A strong AC coupling (faster than about 3 ms: more than this droop per cell) is undone sample
  // by sample before the filter. With 1.2 samples per cell (8 kHz) a coupling of half a
  // millisecond drains a quarter of the level per cell, and the neighbours that share each
  // sample blur what a per-cell model of the droop could learn; undone on the samples it is exact.
  static constexpr double RestoreAbove = 0.05;  // droop per cell that starts the restoring,
  static constexpr double RestoreBelow = 0.03;  // and that ends it (apart, so it does not flicker)
  static constexpr double RestoreRate = 0.1;    // share of each long run's measure taken
  static constexpr double LargestRestored = 0.9;      // droop per cell undone at most
  static constexpr int DroopRunCells = 8;             // runs this long measure the droop (syncs)
  static constexpr double RestoreForgetCells = 300;   // the running sum forgets over this many
                                                      // cells, so a DC offset cannot grow it
  static constexpr double RestoreBelowSamples = 3;    // only cells this short need it: with more
                                                      // samples the droop decisions learn is enough
  static constexpr double SteadyToRestore = 0.45;     // undoing a coupling raises the hum that
  static constexpr double SteadyWhileRestored = 0.8;  // entered after it (six times at 50 Hz for
                                                      // 0.5 ms): the input's own baseline must
                                                      // swing less than this share of the amplitude

  explicit CouplingRestore(double nominal) : keep(1 - 1 / (RestoreForgetCells * nominal)) {}

  // The next samples, restored into `restored` (or themselves while nothing is restored): at
  // most restored.size() of them, so that a restoring learnt takes effect within a few cells.
  // `period` is the cell clock's.
  const float* Restore(const float* samples, std::size_t part, double period);

  // A decided cell of this average, the first of a new run when `runEnded`. A long run that
  // ended measures the droop left, when the signal is settled and its cells short. `level` is
  // the run's level, `amplitude` and `slow` the decisions' amplitude and input baseline.
  void TakeCell(double average, bool runEnded, bool settled, int level, double amplitude,
                double slow, double period) {
    if (runEnded) {
      if (settled && runCells >= DroopRunCells && period < RestoreBelowSamples) {
        MeasureDroop(level, amplitude, slow, period);
      }
      runCells = 0;
    }
    if (++runCells == 2) runSecond = average;
    lastAverages = {average, lastAverages[0]};
  }

  // (Kept out of line: the cell deciding that calls it is built twice, and this arithmetic must
  // stay the same in both.)
  [[gnu::noinline]] void MeasureDroop(int level, double amplitude, double slow, double period);

  const double keep;         ///< per sample, the share of the running sum kept
  double restoredDroop = 0;  ///< the droop per cell measured, undone while `gain` > 0
  double gain = 0;           ///< per sample, the share of the running sum added back (0: off)
  double sum = 0;            ///< the running sum of what came out of the coupling
  double inputMean = 0;      ///< the input's own mean (an offset after the coupling)
  double slowMean = 0;       ///< the input baseline's mean, at the long runs
  double slowSwing = 0;      ///< how far it moves from that mean
  int runCells = 0;          ///< cells decided in the current run
  double runSecond = 0;      ///< the average of its second cell
  std::array<double, 2> lastAverages{};  ///< of the last cell decided and the one before
  std::array<float, 512> restored{};     ///< the latest part restored
};
