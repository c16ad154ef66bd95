// The receiver's cell clock, a phase-locked loop. In: the edges of the filtered signal (where
// its running average crossed the middle, placed between samples), and again each edge once its
// ramp has passed. Out: where each cell lies in the samples, and where a sample falls on the
// output's grid of whole cells.
#pragma once

#include <cstddef>
#include <cstdint>

struct CellFilter;

struct CellClock {
  // Per edge the phase moves by a share of its error and the period by less; more while
  // acquiring, so that a new signal is locked within a few edges.
  static constexpr double PhaseGain = 0.2;             // share of an edge's error the phase takes
  static constexpr double PeriodGain = 0.01;           // and the period, per cell since the last
  static constexpr double PhaseGainAcquiring = 0.6;    // the same while acquiring
  static constexpr double PeriodGainAcquiring = 0.05;  // (the period is not known yet)
  static constexpr int AcquiringEdges = 16;  // edges taken with the high gains after a start
  static constexpr double SnapError = 0.3;   // while acquiring, an edge this far off (in periods)
                                             // from the nearest boundary resets the phase
  static constexpr double RefineFromSamples = 3;  // edges are placed again for cells this long or
                                                  // more (at fewer there is no ramp to read)
  static constexpr double WidestDrift = 0.08;     // the period stays within this share of the
                                                  // nominal cell

  CellClock(double nominal, bool fixedLength, double period)
      : nominal(nominal), fixedLength(fixedLength), period(period), inversePeriod(1 / period) {}

  // Stops the clock (the signal ended, or starts anew); the output's time is kept.
  void Reset() {
    clocked = false;
    side = 0;
    startCountdown = -1;
    refineAt = 0;
  }

  // Starts the clock at this edge with cells of this length.
  void Start(double edge, double length);

  // Takes the edge at `edge` (placed from the filter's crossing `lastCrossing`, while the middle
  // was `middle`); returns true when the clock was locked and this edge measured its period.
  bool TakeEdge(double edge, double middle, std::size_t window);

  // Places the latest edge again from the levels either side of it, now that its ramp has
  // passed, and takes the difference. (Kept out of line: the cell deciding that calls it is
  // built twice, and this arithmetic must stay the same in both.)
  [[gnu::noinline]] void RefineEdge(const CellFilter& filter, double amplitude);

  // The clock takes an edge `error` samples off its boundary, `span` cells after the one before.
  void Follow(double error, double span, bool acquiring);

  // The output's cell at a sample (cells handed on before the clock's cell 0, plus its cells).
  double OutputCellAt(double sample) const {
    return cellsSent + static_cast<double>(anchorCell) + (sample - phase) / period;
  }

  const double nominal;    ///< samples per cell at the nominal cell length
  const bool fixedLength;  ///< the period is given, never tracked
  // Boundary k lies at phase + (k - anchorCell) * period samples.
  double phase = 0;             ///< where the anchor cell's boundary lies, in samples
  double period;                ///< samples per cell
  double inversePeriod;         ///< 1 / period
  std::int64_t anchorCell = 0;  ///< the cell whose boundary lies at phase
  std::int64_t nextCell = 0;    ///< the next cell to decide
  int acquiring = 0;            ///< edges still to be taken with the high gains
  bool clocked = false;         ///< started, at the first edge of a signal
  std::uint64_t decideAt = 0;   ///< the sample at which the next cell can be decided (0: now)
  double cellsSent = 0;         ///< the output's cell at the clock's cell 0
  // The edges of the filtered signal.
  int side = 0;                 ///< which side of the middle beyond the hysteresis: +1, -1, 0
  double startCountdown = -1;   ///< samples until a new signal's first edge is placed (-1: none)
  double previousFiltered = 0;  ///< the previous sample's filtered value, less the middle
  double lastCrossing = 0;      ///< the latest crossing of the middle, between samples
  // The latest edge, to be placed again once its ramp has passed (see RefineEdge).
  std::uint64_t refineAt = 0;  ///< the sample at which to (0: none)
  double refineCrossing = 0;   ///< where it crossed the middle
  double refineMiddle = 0;     ///< the middle it crossed
  double refineSpan = 1;       ///< cells since the edge before it
};
