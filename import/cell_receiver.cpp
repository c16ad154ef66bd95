// Audio samples in, level changes on a grid of whole cells out: matched filter, cell clock,
// decisions at the cells' middles, decision-feedback baseline.
#include "import/cell_receiver.h"

#include <algorithm>
#include <cmath>

#include "common/signal_layout.h"

namespace {

// Below this amplitude (full scale is 1) there is no signal to slice, only noise.
constexpr double NoiseFloor = 0.01;
// A signal starts with a jump of the average within a cell, this many times the jumps that
// noise, hum or droop alone make.
constexpr double StartingAboveNoise = 6;
// Cells near the middle (within this share of the amplitude) are quiet; three in a row are a
// silence, eight end the signal, and the noise is then learnt for a few cells before a new start is
// taken.
constexpr double QuietShare = 0.25;
constexpr int QuietCellsForSilence = 3;
constexpr int SilenceCells = 8;
constexpr double LearningNoiseCells = 4;
constexpr double LearningNoiseSamples = 4;
// A start that no edge confirms within this many cells was noise after all.
constexpr double ConfirmingCells = 6;
// While the recording's first signal settles, a signal this many times its range (when its first
// edge had arrived) makes a new start.
constexpr double StrongerStart = 2.5;
// Edges learnt from the extremes, and taken by the clock with high gain, after a start.
constexpr int SettlingEdges = 8;
constexpr int AcquiringEdges = 16;
// The filtered signal must pass this share of the amplitude beyond the middle for an edge.
constexpr double EdgeHysteresis = 0.5;
// How fast things are learnt. The extremes while settling fade over thirty cells. Per decided
// cell the baseline moves up to half of what it misses by (fast enough for the droop of an input
// AC-coupled with half a millisecond, about three cells, and for strong hum), the amplitude a
// twentieth. Per edge the clock moves its phase by a share of the error, its period less.
constexpr double ExtremesFadeCells = 30;
constexpr double BaselineRate = 0.5;
// The baseline's rate goes down to this while its misses are noise, in steps every sixteen cells
// (a fiftieth per cell of how alike its misses are), from the misses' averages over fifty cells.
constexpr double SlowestBaselineRate = 0.1;
constexpr int CellsPerRateStep = 16;
constexpr double BaselineRateStep = 0.02 * CellsPerRateStep;
constexpr double MissAveraging = 0.02;
constexpr double FarLikenessToChase = 0.15;
constexpr double AmplitudeRate = 0.05;
// The droop per cell is learnt slowly and is at most that of a time constant of 0.15 ms.
constexpr double DroopRate = 0.02;
constexpr double LargestDroop = 0.6;
// A strong AC coupling (faster than about 3 ms: more than this droop per cell) is undone sample
// by sample before the filter. With 1.2 samples per cell (8 kHz) a coupling of half a
// millisecond drains a quarter of the level per cell, and the neighbours that share each
// sample blur what a per-cell model of the droop could learn; undone on the samples it is
// exact. The droop is measured on long runs (the syncs): how far the level falls from the run's
// second cell to its last but one, which on a restored signal is what is still left. The running
// sum the restoring needs forgets over many cells, so a DC offset cannot grow without end.
constexpr double RestoreAbove = 0.05, RestoreBelow = 0.03;
constexpr double RestoreRate = 0.1;
constexpr double LargestRestored = 0.9;
constexpr int DroopRunCells = 8;
constexpr double RestoreForgetCells = 300;
// Only cells this short need it: with more samples per cell the droop the decisions learn is
// enough. Undoing a coupling also raises the hum that entered after it (six times at 50 Hz for
// half a millisecond): the input's own baseline must be steady (its swing, a share of the
// amplitude) for the restoring to start, and to go on.
constexpr double RestoreBelowSamples = 3;
constexpr double SteadyToRestore = 0.45, SteadyWhileRestored = 0.8;

constexpr double PhaseGain = 0.2, PeriodGain = 0.01;
constexpr double PhaseGainAcquiring = 0.6, PeriodGainAcquiring = 0.05;
// While acquiring, an edge this far (in periods) from the nearest boundary resets the phase.
constexpr double SnapError = 0.3;
// Edges are placed again from the levels either side of them for cells of this many samples or
// more (at fewer, a sample or two per cell, there is no ramp to read).
constexpr double RefineFromSamples = 3;
// The clock keeps the period within this fraction of the nominal cell.
constexpr double WidestDrift = 0.08;
// A cell this many times the tracked amplitude away from the baseline means a new signal.
constexpr double RestartRatio = 4;
// At most this many cells are decided per sample; more would mean the clock jumped.
constexpr int MostCellsPerSample = 8;

}  // namespace

CellReceiver::CellReceiver(const ReceiverSettings& settings) : settings_(settings) {
  nominal_ = settings.SampleRate * MillisecondsPerCell / 1000;
  window_ = std::clamp<std::size_t>(static_cast<std::size_t>(std::floor(nominal_)), 1, History / 4);
  delay_ = (static_cast<double>(window_) - 1) / 2;
  inverseWindow_ = 1 / static_cast<double>(window_);
  period_ = nominal_ * settings.FixedCellLength.value_or(1);
  inversePeriod_ = 1 / period_;
  settling_ = SettlingEdges;
  restoreKeep_ = 1 - 1 / (RestoreForgetCells * nominal_);
}

// The input's AC coupling passes changes and drains the level held: each sample loses a share
// of what the coupling has held back so far, which is the running sum of what came out of it,
// scaled. Adding that back restores the level sent. What comes out of a coupling averages to
// nothing, so the input's own mean (an offset added after it) is left out of the sum.
void CellReceiver::Feed(const float* samples, std::size_t count, std::vector<double>& edges) {
  // In parts, so that a restoring learnt takes effect within a few cells.
  while (count > 0) {
    const std::size_t part = std::min(count, restored_.size());
    if (restoreGain_ > 0) {
      for (std::size_t i = 0; i < part; ++i) {
        inputMean_ += (samples[i] - inputMean_) * (1 - restoreKeep_);
        restoreSum_ = restoreSum_ * restoreKeep_ + (samples[i] - inputMean_);
        restored_[i] = static_cast<float>(samples[i] + restoreGain_ * restoreSum_);
      }
      Receive(restored_.data(), part, edges);
    } else {
      // Where cells are short enough to be restored, the mean is kept while nothing is restored
      // too, a part at a time, to start from.
      if (period_ < RestoreBelowSamples) {
        float sum = 0;
        for (std::size_t i = 0; i < part; ++i) sum += samples[i];
        const double share = std::min(1.0, static_cast<double>(part) * (1 - restoreKeep_));
        inputMean_ += (sum / static_cast<double>(part) - inputMean_) * share;
      }
      Receive(samples, part, edges);
    }
    samples += part;
    count -= part;
  }
}

// A long run has ended: what it shows of the droop moves the restoring towards it.
void CellReceiver::MeasureDroop() {
  const double inside = static_cast<double>(runCells_ - 3);
  const double fall = level_ * (runSecond_ - lastAverages_[1]) / (inside * amplitude_);
  const double restored = restoreGain_ > 0 ? restoredDroop_ : 0;
  restoredDroop_ = std::clamp(restoredDroop_ + RestoreRate * (restored + fall - restoredDroop_),
                              0.0, LargestRestored);
  slowMean_ += RestoreRate * (slow_ - slowMean_);
  slowSwing_ += RestoreRate * (std::abs(slow_ - slowMean_) - slowSwing_);
  const bool on = restoreGain_ > 0;
  const bool restoring = restoredDroop_ > (on ? RestoreBelow : RestoreAbove) &&
                         slowSwing_ < (on ? SteadyWhileRestored : SteadyToRestore) * amplitude_;
  if (!restoring) {
    restoreGain_ = 0;
    restoreSum_ = 0;
    return;
  }
  // (At most half a sample's level per sample: a coupling faster than a sample is no signal.)
  const double perSample = std::min(1 - std::pow(1 - restoredDroop_, 1 / period_), 0.5);
  restoreGain_ = perSample / (1 - perSample);
}

void CellReceiver::Receive(const float* samples, std::size_t count, std::vector<double>& edges) {
  constexpr std::uint64_t Mask = History - 1;
  std::size_t i = 0;
  while (i < count) {
    if (!steady_) {
      Step(samples[i++], edges);
      continue;
    }
    // The signal is present, settled and clocked, the common case: per sample the filter runs,
    // and only an edge or a cell to decide needs more. The state it needs is kept in locals,
    // which the stores into the history cannot disturb.
    double sum = windowSum_, previous = previousFiltered_;
    const double middle = middle_, band = band_, side = side_;
    const std::uint64_t decideAt = decideAt_;
    std::uint64_t n = position_;
    double filtered = previous, average = 0;
    // The latest crossing of the middle: the sample after it and the values either side, kept
    // without a branch and placed between the samples only when an edge needs it.
    std::uint64_t crossedAt = 0;
    double before = 0, after = 0;
    for (; i < count; ++i, ++n) {
      const double x = samples[i];
      sum += x - recent_[(n - window_) & Mask];
      recent_[n & Mask] = x;
      average = sum * inverseWindow_;
      averages_[n & Mask] = average;
      filtered = average - middle;
      const bool crossed = (previous < 0) != (filtered < 0);
      crossedAt = crossed ? n : crossedAt;
      before = crossed ? previous : before;
      after = crossed ? filtered : after;
      previous = filtered;
      if (filtered * side < -band || n >= decideAt) break;
    }
    if (crossedAt > 0) {
      lastCrossing_ = static_cast<double>(crossedAt) - 1 + before / (before - after);
    }
    windowSum_ = sum;
    previousFiltered_ = previous;
    if (i == count) {
      position_ = n;
      break;
    }
    position_ = n + 1;
    ++i;
    if (filtered * side < -band) ChangeSide(filtered, edges);
    DecideCells(n, edges);
    if (amplitude_ < NoiseFloor) Wait(average, n);
    Refresh();
  }
}

// The fast path's view of the state, after anything that may change it.
void CellReceiver::Refresh() {
  steady_ = present_ && settling_ == 0 && clocked_ && side_ != 0 && amplitude_ >= NoiseFloor &&
            position_ > 3 * window_ + 3;
  middle_ = settings_.FixedThreshold.value_or(baseline_);
  band_ = EdgeHysteresis * amplitude_;
}

// Sample k stands for the signal over [k - 0.5, k + 0.5): the samples inside count whole, the
// two at the ends by the share of them inside. Samples before the first count as nothing.
double CellReceiver::CellAverage(double start, double end) const {
  constexpr std::uint64_t Mask = History - 1;
  const double first = std::floor(start + 0.5), last = std::floor(end + 0.5);
  auto sample = [&](double k) {
    return k < 0 ? 0.0 : recent_[static_cast<std::uint64_t>(k) & Mask];
  };
  if (last <= first) return sample(first);
  double sum = (first + 0.5 - start) * sample(first) + (end - last + 0.5) * sample(last);
  // The whole samples between: the filter's window that ends before the last, widened or
  // narrowed by the few samples the cell differs from it by.
  auto from = std::max<std::int64_t>(static_cast<std::int64_t>(first) + 1, 0);
  const auto to = static_cast<std::int64_t>(last);  // one past the whole samples
  const auto windowFrom = to - static_cast<std::int64_t>(window_);
  if (windowFrom >= 0 && to > from && static_cast<double>(position_) - last < History / 2) {
    sum += averages_[static_cast<std::uint64_t>(to - 1) & Mask] * static_cast<double>(window_);
    for (auto k = from; k < windowFrom; ++k) sum += recent_[static_cast<std::uint64_t>(k) & Mask];
    for (auto k = windowFrom; k < from; ++k) sum -= recent_[static_cast<std::uint64_t>(k) & Mask];
    return sum * inversePeriod_;
  }
  for (auto k = from; k < to; ++k) sum += recent_[static_cast<std::uint64_t>(k) & Mask];
  return sum / (end - start);
}

void CellReceiver::Step(double x, std::vector<double>& edges) {
  constexpr std::uint64_t Mask = History - 1;
  const std::uint64_t n = position_++;
  windowSum_ += x - recent_[(n - window_) & Mask];
  recent_[n & Mask] = x;
  const double average = windowSum_ * inverseWindow_;
  averages_[n & Mask] = average;
  if (n < 3 * window_ + 2) return;  // the first averages are of fewer samples than a cell
  if (n == 3 * window_ + 2) {
    highest_ = lowest_ = average;
    waitingSince_ = n;
  }
  Settle(average, n);
  if (present_) {
    TrackEdge(average - settings_.FixedThreshold.value_or(baseline_), n, edges);
    DecideCells(n, edges);
  }
  Refresh();
}

// Until the signal has settled (at the start, and again after a silence) the baseline and the
// amplitude come from the extremes seen lately, which need no decisions: fast to reach a new
// extreme, slow to let it go. A signal begins with a jump of its average within a cell, far
// beyond the jumps that noise, hum or droop alone make.
void CellReceiver::Settle(double average, std::uint64_t n) {
  if (present_ && settling_ == 0) {
    if (amplitude_ < NoiseFloor) Wait(average, n);
    return;
  }
  const double fade = 1 / (ExtremesFadeCells * nominal_);
  constexpr std::uint64_t Mask = History - 1;
  highest_ = average > highest_ ? average : highest_ - (highest_ - average) * fade;
  lowest_ = average < lowest_ ? average : lowest_ + (average - lowest_) * fade;
  const double range = highest_ - lowest_;
  if (!present_) {
    // The noise's jumps are learnt from two cells back and slowly, so an edge's own jump is not
    // taken for noise, and fast for a moment first, so the very start cannot pass for one.
    const double jump = std::abs(average - averages_[(n - window_) & Mask]);
    const double pastJump =
        std::abs(averages_[(n - 2 * window_ - 1) & Mask] - averages_[(n - 3 * window_ - 1) & Mask]);
    const bool learning = static_cast<double>(n - waitingSince_) <
                          std::max(LearningNoiseCells * nominal_, LearningNoiseSamples);
    noiseJump_ += (learning ? 0.25 : fade) * (pastJump - noiseJump_);
    if (learning || range < 2 * NoiseFloor || jump < 2 * NoiseFloor ||
        jump < StartingAboveNoise * noiseJump_) {
      return;
    }
    presentSince_ = n;
    present_ = sawSignal_ = true;
    side_ = 0;
    startCountdown_ = -1;
    clocked_ = false;
    startRange_ = 0;  // taken when the first edge has arrived
  } else if (holdingFirst_ && startRange_ > 0 && range > StrongerStart * startRange_) {
    // The recording's first signal, not settled yet, is joined by a far stronger one: what was
    // heard was a codec's pre-echo or another transmitter's crosstalk, and the recording
    // starts anew with the stronger, from its first edge.
    heldCount_ = 0;
    pending_.reset();
    level_ = 0;
    cellsSent_ = 0;
    clocked_ = false;
    side_ = 0;
    startCountdown_ = -1;
    quietCells_ = 0;
    presentSince_ = n;
    settling_ = SettlingEdges;
    startRange_ = 0;
  }
  baseline_ = slow_ = (highest_ + lowest_) / 2;
  baselineRate_ = BaselineRate;
  lost_ = 0;
  amplitude_ = range / 2;
}

// The signal has ended (or a stronger one begun): wait for a start, learning the noise again
// for a moment first; the level held meanwhile stays, standing for the silence.
void CellReceiver::Wait(double average, std::uint64_t n) {
  settling_ = SettlingEdges;
  refineAt_ = 0;
  highest_ = lowest_ = average;
  present_ = false;
  clocked_ = false;
  side_ = 0;
  startCountdown_ = -1;
  quietCells_ = 0;
  waitingSince_ = n;
}

// Edges of the filtered signal set the cell clock.
void CellReceiver::TrackEdge(double filtered, std::uint64_t n, std::vector<double>& edges) {
  if ((previousFiltered_ < 0) != (filtered < 0)) {
    lastCrossing_ = static_cast<double>(n) - 1 + previousFiltered_ / (previousFiltered_ - filtered);
  }
  previousFiltered_ = filtered;
  if (!clocked_ && static_cast<double>(n - presentSince_) > ConfirmingCells * nominal_) {
    Wait(filtered + baseline_, n);
    return;
  }
  if (side_ == 0) {
    // The signal has just begun: it has left one level for the other. A cell and a half later
    // it has arrived, the middle between the two is known, and the first edge is where the
    // averages crossed it.
    if (startCountdown_ < 0) startCountdown_ = 1.5 * nominal_ + 1;
    if ((startCountdown_ -= 1) > 0) return;
    startCountdown_ = -1;
    startRange_ = highest_ - lowest_;
    constexpr std::uint64_t Mask = History - 1;
    filtered = averages_[n & Mask] - baseline_;
    const double middle = settings_.FixedThreshold.value_or(baseline_);
    lastCrossing_ = static_cast<double>(n);
    for (std::uint64_t m = n - 1; m + 4 * window_ + 4 >= n; --m) {
      double before = averages_[m & Mask] - middle, after = averages_[(m + 1) & Mask] - middle;
      if ((before < 0) != (after < 0)) {
        lastCrossing_ = static_cast<double>(m) + before / (before - after);
        break;
      }
    }
    side_ = filtered > 0 ? -1 : 1;  // so that the code below takes the change as an edge
  }
  ChangeSide(filtered, edges);
}

// The filtered signal beyond the hysteresis on the other side from before is an edge.
void CellReceiver::ChangeSide(double filtered, std::vector<double>& edges) {
  const double band = EdgeHysteresis * amplitude_;
  int side = filtered > band ? 1 : filtered < -band ? -1 : side_;
  if (side == side_) return;
  side_ = side;
  decideAt_ = 0;  // the clock moves: the next decision's time is worked out again
  const double edge = lastCrossing_ - delay_;
  if (settling_ > 0 && --settling_ == 0) HandOnHeld(edges);
  if (!clocked_) {
    // The clock starts at this edge; the output's time goes on from where it was. After a
    // silence held as the level the signal now starts with, a cell of the other comes first,
    // so that the start is a change of level.
    cellsSent_ = level_ == 0
                     ? edge / period_
                     : cellsSent_ + static_cast<double>(anchorCell_) + (edge - phase_) / period_;
    if (level_ == side) Emit(cellsSent_ - 1, edges);
    phase_ = edge;
    // A signal heard before has shown how long its cells are: a new burst starts from that.
    period_ = settings_.FixedCellLength ? nominal_ * *settings_.FixedCellLength
                                        : MeasuredSamplesPerCell();
    inversePeriod_ = 1 / period_;
    nextCell_ = 0;
    anchorCell_ = 0;
    level_ = -side;  // the cells before were of the other level
    clocked_ = true;
    acquiring_ = AcquiringEdges;
    return;
  }
  // The boundary nearest the edge becomes the clock's anchor, so a change of the period moves
  // only the boundaries still to come.
  const double cells = std::round((edge - phase_) / period_);
  const double error = edge - (phase_ + cells * period_);
  // The phase error grows with the cells since the previous edge when the period is off.
  const double span = std::max(1.0, cells);
  phase_ += cells * period_;
  anchorCell_ += static_cast<std::int64_t>(cells);
  const bool acquiring = acquiring_ > 0;
  if (acquiring) --acquiring_;
  if (acquiring && std::abs(error) > SnapError * period_) {
    phase_ += error;
    return;
  }
  Follow(error, span, acquiring);
  if (!acquiring && period_ >= RefineFromSamples) {
    refineCrossing_ = lastCrossing_;
    refineMiddle_ = middle_;
    refineSpan_ = span;
    refineAt_ = static_cast<std::uint64_t>(std::max(lastCrossing_, 0.0)) + window_ + 2;
  }
  if (!acquiring) {
    periodSum_ += period_;
    ++periodCount_;
  }
}

// The edge was placed where the filtered signal crossed the middle; when the levels either side
// of it are not symmetric about the middle (another transmitter's crosstalk, a baseline still
// moving), that is early or late. Once the ramp has passed, the edge is placed again where the
// filtered signal crossed halfway between the levels before and after it, and the clock takes
// the difference as it took the edge.
void CellReceiver::RefineEdge() {
  constexpr std::uint64_t Mask = History - 1;
  refineAt_ = 0;
  // (The crossing is at least a few windows into the input, and its edge not long ago.)
  if (!(refineCrossing_ >= static_cast<double>(window_))) return;
  const auto crossed = static_cast<std::uint64_t>(refineCrossing_);
  if (position_ < crossed || position_ - crossed > History / 2) return;
  const double before = averages_[(crossed - window_) & Mask];
  const double after = averages_[(crossed + window_ + 1) & Mask];
  // The filtered edge is a ramp a window long from one level to the other: the crossing of the
  // halfway level lies that share of the window from the crossing of the middle.
  const double rise = after - before, height = std::abs(rise);
  if (height < amplitude_) return;  // no clean edge to read
  const double shift = std::clamp((before + after) / 2 - refineMiddle_, -height, height) / rise *
                       static_cast<double>(window_);
  Follow(shift, refineSpan_, false);
}

// The clock takes an edge `error` samples off its boundary, `span` cells after the edge before:
// its phase moves by a share of the error, its period (unless fixed) by less.
void CellReceiver::Follow(double error, double span, bool acquiring) {
  phase_ += (acquiring ? PhaseGainAcquiring : PhaseGain) * error;
  if (settings_.FixedCellLength) return;
  period_ += (acquiring ? PeriodGainAcquiring : PeriodGain) * error / span;
  period_ = std::clamp(period_, nominal_ * (1 - WidestDrift), nominal_ * (1 + WidestDrift));
  inversePeriod_ = 1 / period_;
}

// Each cell whose middle the filter has passed is decided, and a change of level is an edge.
void CellReceiver::DecideCells(std::uint64_t n, std::vector<double>& edges) {
  if (!clocked_ || n < decideAt_) return;
  // (The latest edge is placed again at the first decision after its ramp has passed.)
  if (refineAt_ != 0 && n >= refineAt_) RefineEdge();
  for (int decided = 0; decided < MostCellsPerSample; ++decided) {
    const double start = phase_ + static_cast<double>(nextCell_ - anchorCell_) * period_;
    const double end = start + period_;
    // Its last sample is still to come: decided at the sample that brings it.
    const double ready = std::ceil(end + 0.5);
    if (ready > static_cast<double>(n)) {
      decideAt_ = static_cast<std::uint64_t>(std::min(ready, 1.8e19));
      return;
    }
    if (start < static_cast<double>(n) - static_cast<double>(History) / 2) {
      ++nextCell_;  // too old to look at (the clock jumped): take it as the last level
      continue;
    }
    // The filter matched to this very cell: its samples, each weighted by the share of its
    // period that lies inside the cell.
    const double average = CellAverage(start, end);
    if (settling_ == 0 && std::abs(average - baseline_) > RestartRatio * amplitude_) {
      // Far stronger than the signal tracked: a transmitter has started; settle on it anew,
      // from its next edge.
      Wait(average, n);
      present_ = true;
      presentSince_ = n;
      return;
    }
    const double reference = settings_.FixedThreshold.value_or(baseline_);
    // A cell near the middle is neither level: the transmitter may have gone quiet. Such cells
    // are held until a few in a row make a silence, which counts as the other level from the
    // first of them (as the idle run it stands for); a long one ends the signal. Fewer, and
    // they were cells like any other (noise, or an edge across one).
    if (settling_ == 0 && std::abs(average - reference) < QuietShare * amplitude_) {
      if (quietCells_ < QuietCellsForSilence - 1) {
        heldCells_[static_cast<std::size_t>(quietCells_)] = {nextCell_, average};
      } else if (quietCells_ == QuietCellsForSilence - 1) {
        Emit(cellsSent_ + static_cast<double>(heldCells_[0].first), edges);
        level_ = -level_;
      } else if (quietCells_ >= SilenceCells) {
        Wait(average, n);
        return;
      }
      ++quietCells_;
      ++nextCell_;
      continue;
    }
    for (int held = 0; held < std::min(quietCells_, QuietCellsForSilence - 1); ++held) {
      const auto& [cell, heldAverage] = heldCells_[static_cast<std::size_t>(held)];
      const int heldLevel = heldAverage > reference ? 1 : -1;
      if (heldLevel != level_ && quietCells_ < QuietCellsForSilence) {
        Emit(cellsSent_ + static_cast<double>(cell), edges);
        level_ = heldLevel;
      }
    }
    quietCells_ = 0;
    const int level = average > reference ? 1 : -1;
    if (settling_ == 0) {
      // The baseline is the input's own (DC, hum, AGC: `slow_`) less what an AC coupling has
      // taken away (`lost_`): the coupling passes changes but loses the level held, a share
      // per cell (the droop) of the way to the level sent. That share is learnt from how the
      // prediction misses; a direct input learns a droop of nothing. What is still missed
      // moves the input's own part.
      const double sent = level * amplitude_;
      const double lost = lost_ + droop_ * (sent - lost_);
      const double error = average - (slow_ - lost + sent);
      // The droop learns only from cells inside a run, a cell late: next to an edge a cell
      // also holds some of its neighbour, which would look like droop.
      const double scale = std::max(amplitude_ * amplitude_, NoiseFloor * NoiseFloor);
      // (Written without branches: which way a cell goes is as good as random.)
      const double sameAsBefore = static_cast<double>(level == level_);
      const double inside = sameAsBefore * static_cast<double>(level_ == levelBefore_);
      droop_ = std::clamp(droop_ + inside * DroopRate * lastDroopStep_ / scale, 0.0, LargestDroop);
      lastDroopStep_ = sameAsBefore * -error * (sent - lost_);
      // How fast the input's own part follows its misses is chosen from the misses themselves.
      // While it chases noise, a miss tends to undo the one before, and it slows down, so the
      // middle holds still and noise alone flips fewer cells. While it lags behind hum or droop,
      // a miss is still like the one four cells before, and it speeds up; another transmitter's
      // crosstalk is like the one before but hardly like that one, so it is not chased.
      missSquare_ += MissAveraging * (error * error - missSquare_);
      missNear_ += MissAveraging * (error * lastMisses_[0] - missNear_);
      missFar_ += MissAveraging * (error * lastMisses_[3] - missFar_);
      lastMisses_ = {error, lastMisses_[0], lastMisses_[1], lastMisses_[2]};
      if (++cellsSinceRate_ == CellsPerRateStep) {
        cellsSinceRate_ = 0;
        const double size = std::max(missSquare_, NoiseFloor * NoiseFloor * 1e-4);
        const double likeness =
            missNear_ < 0 ? missNear_ / size : missFar_ / size - FarLikenessToChase;
        baselineRate_ = std::clamp(baselineRate_ * (1 + BaselineRateStep * likeness),
                                   SlowestBaselineRate, BaselineRate);
      }
      levelBefore_ = level_;
      lost_ = lost;
      slow_ += baselineRate_ * error;
      // The middle for the next cell: halfway between what each level would bring, both
      // after the droop the coupling adds meanwhile.
      baseline_ = slow_ - (1 - droop_) * lost_;
      amplitude_ = std::max(amplitude_ + AmplitudeRate * level * error, NoiseFloor / 2);
    }
    levelSums_[level > 0] += average;
    ++levelCounts_[level > 0];
    if (level != level_) {
      if (settling_ == 0 && runCells_ >= DroopRunCells && period_ < RestoreBelowSamples) {
        MeasureDroop();
      }
      runCells_ = 0;
      Emit(cellsSent_ + static_cast<double>(nextCell_), edges);
    }
    if (++runCells_ == 2) runSecond_ = average;
    lastAverages_ = {average, lastAverages_[0]};
    level_ = level;
    ++nextCell_;
  }
}

void CellReceiver::Emit(double cell, std::vector<double>& edges) {
  const double edge = cell * nominal_;
  if (pending_) {
    if (edge - *pending_ < settings_.MinRunCells * nominal_) {
      pending_.reset();  // a run too short: drop both of its edges
      return;
    }
    Hand(*pending_, edges);
  }
  pending_ = edge;
}

// Until the recording's first signal has settled its edges are held, so that a false start
// can be taken back.
void CellReceiver::Hand(double edge, std::vector<double>& edges) {
  if (holdingFirst_ && heldCount_ == heldEdges_.size()) HandOnHeld(edges);
  if (!holdingFirst_) {
    edges.push_back(edge);
    return;
  }
  heldEdges_[heldCount_++] = edge;
}

void CellReceiver::HandOnHeld(std::vector<double>& edges) {
  if (!holdingFirst_) return;
  edges.insert(edges.end(), heldEdges_.begin(), heldEdges_.begin() + heldCount_);
  heldCount_ = 0;
  holdingFirst_ = false;
}

void CellReceiver::Finish(std::vector<double>& edges) {
  if (pending_) Hand(*pending_, edges);
  HandOnHeld(edges);
  pending_.reset();
}

double CellReceiver::HighLevel() const {
  return levelCounts_[1] > 0 ? levelSums_[1] / static_cast<double>(levelCounts_[1])
                             : baseline_ + amplitude_;
}

double CellReceiver::LowLevel() const {
  return levelCounts_[0] > 0 ? levelSums_[0] / static_cast<double>(levelCounts_[0])
                             : baseline_ - amplitude_;
}

double CellReceiver::GridTimeOf(double sample) const {
  if (level_ == 0) return sample;
  return (cellsSent_ + static_cast<double>(anchorCell_) + (sample - phase_) / period_) * nominal_;
}

double CellReceiver::MeasuredSamplesPerCell() const {
  return periodCount_ > 0 ? periodSum_ / static_cast<double>(periodCount_) : period_;
}
