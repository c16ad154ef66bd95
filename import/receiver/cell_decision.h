// The receiver's decisions and baseline. In: each cell's average (the filter matched to the
// cell). Out: the cell's level, and from the decided cells (decision feedback) the middle and
// the amplitude the next cell is decided by, following a DC offset, hum, AGC and the droop of
// an AC-coupled input; and when asked, each run's weakest decision margin.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

struct CellDecision {
  static constexpr double NoiseFloor = 0.01;  // below this amplitude (full scale 1) there is only
                                              // noise to slice
  static constexpr double QuietShare = 0.25;  // a cell this near the middle (a share of the
                                              // amplitude) is quiet: the transmitter may be off
  static constexpr int QuietCellsForSilence = 3;      // quiet cells in a row that make a silence
  static constexpr int SilenceCells = 8;              // quiet cells in a row that end the signal
  static constexpr double BaselineRate = 0.5;         // per cell the baseline moves up to half its
                                                      // miss: fast enough for the droop of a 0.5 ms
                                                      // coupling (about three cells) and strong hum
  static constexpr double SlowestBaselineRate = 0.1;  // its rate while its misses are noise
  static constexpr int CellsPerRateStep = 16;         // the rate moves every sixteen cells,
  static constexpr double BaselineRateStep = 0.02 * CellsPerRateStep;  // a fiftieth per cell of
                                                                       // how alike the misses are
  static constexpr double MissAveraging = 0.02;       // the misses' averages are over fifty cells
  static constexpr double FarLikenessToChase = 0.15;  // misses this alike four cells apart are
                                                      // hum or droop, worth chasing
  static constexpr double AmplitudeRate = 0.05;       // the amplitude learns a twentieth of a miss
  static constexpr double DroopRate = 0.02;           // the droop per cell is learnt slowly,
  static constexpr double LargestDroop = 0.6;         // and is at most that of a 0.15 ms coupling
  static constexpr double NoMargin = std::numeric_limits<double>::infinity();  // no cell yet

  // Forgets the quiet cells counted (the signal ended, or starts anew).
  void Reset() { quietCells = 0; }

  // The recording starts anew: no level before, no run yet.
  void Restart() {
    Reset();
    level = 0;
    runMargin = NoMargin;
  }

  // A cell's decision margin: how far its average is from the middle, in amplitudes.
  double MarginOf(double average, double middle) const {
    return std::abs(average - middle) / std::max(amplitude, NoiseFloor / 2);
  }
  // A cell of the current run.
  void AddToRun(double margin) { runMargin = std::min(runMargin, margin); }
  // The current run has ended: returns its weakest margin; a new one starts with this cell's.
  double EndRun(double margin) {
    const double ended = runMargin;
    runMargin = margin;
    return ended;
  }

  // While the signal settles, the middle and the amplitude come from the extremes seen lately.
  void SetFromExtremes(double highest, double lowest, double range) {
    baseline = slow = (highest + lowest) / 2;
    baselineRate = BaselineRate;
    lost = 0;
    amplitude = range / 2;
  }

  // A settled cell decided `level`: the baseline and amplitude learn from how it missed.
  // (Inlined: the cell deciding is built twice and this is part of its arithmetic.)
  [[gnu::always_inline]] inline void Learn(double average, int level) {
    // The baseline is the input's own (DC, hum, AGC: `slow`) less what an AC coupling has
    // taken away (`lost`): the coupling passes changes but loses the level held, a share
    // per cell (the droop) of the way to the level sent. That share is learnt from how the
    // prediction misses; a direct input learns a droop of nothing. What is still missed
    // moves the input's own part.
    const double sent = level * amplitude;
    const double lostNow = lost + droop * (sent - lost);
    const double error = average - (slow - lostNow + sent);
    // The droop learns only from cells inside a run, a cell late: next to an edge a cell
    // also holds some of its neighbour, which would look like droop.
    const double scale = std::max(amplitude * amplitude, NoiseFloor * NoiseFloor);
    // (Written without branches: which way a cell goes is as good as random.)
    const double sameAsBefore = static_cast<double>(level == this->level);
    const double inside = sameAsBefore * static_cast<double>(this->level == levelBefore);
    droop = std::clamp(droop + inside * DroopRate * lastDroopStep / scale, 0.0, LargestDroop);
    lastDroopStep = sameAsBefore * -error * (sent - lost);
    // How fast the input's own part follows its misses is chosen from the misses themselves.
    // While it chases noise, a miss tends to undo the one before, and it slows down, so the
    // middle holds still and noise alone flips fewer cells. While it lags behind hum or droop,
    // a miss is still like the one four cells before, and it speeds up; another transmitter's
    // crosstalk is like the one before but hardly like that one, so it is not chased.
    missSquare += MissAveraging * (error * error - missSquare);
    missNear += MissAveraging * (error * lastMisses[0] - missNear);
    missFar += MissAveraging * (error * lastMisses[3] - missFar);
    lastMisses = {error, lastMisses[0], lastMisses[1], lastMisses[2]};
    if (++cellsSinceRate == CellsPerRateStep) {
      cellsSinceRate = 0;
      const double size = std::max(missSquare, NoiseFloor * NoiseFloor * 1e-4);
      const double likeness = missNear < 0 ? missNear / size : missFar / size - FarLikenessToChase;
      baselineRate = std::clamp(baselineRate * (1 + BaselineRateStep * likeness),
                                SlowestBaselineRate, BaselineRate);
    }
    levelBefore = this->level;
    lost = lostNow;
    slow += baselineRate * error;
    // The middle for the next cell: halfway between what each level would bring, both
    // after the droop the coupling adds meanwhile.
    baseline = slow - (1 - droop) * lost;
    amplitude = std::max(amplitude + AmplitudeRate * level * error, NoiseFloor / 2);
  }

  // Decisions.
  int level = 0;        ///< the last cell's level: +1, -1, 0 before the first
  int levelBefore = 0;  ///< the level of the cell before it
  int quietCells = 0;   ///< cells in a row near the middle
  std::array<std::pair<std::int64_t, double>, 2> heldCells{};  ///< the first of them: cell,
                                                               ///< average
  // The baseline and the amplitude.
  double baseline = 0;        ///< the middle between the levels, for the next cell
  double amplitude = 0;       ///< half the distance between the levels
  double slow = 0;            ///< the input's own baseline: DC, hum, AGC
  double droop = 0;           ///< share of the way to the level sent the level held loses per cell
  double lost = 0;            ///< what an AC coupling has taken away from the level held
  double lastDroopStep = 0;   ///< what the previous cell would teach the droop
  double baselineRate = 0.5;  ///< how fast `slow` follows the misses
  double missSquare = 0;      ///< the misses' mean square
  double missNear = 0;        ///< how alike a miss is to the one before
  double missFar = 0;         ///< how alike a miss is to the one four before
  std::array<double, 4> lastMisses{};  ///< the latest misses, newest first
  int cellsSinceRate = 0;              ///< cells since the rate last moved
  // The margins (only when asked for).
  double runMargin = NoMargin;          ///< the weakest of the current run's cells (none: inf)
  std::array<double, 2> heldMargins{};  ///< those of the quiet cells held
};
