// Audio samples in, level changes on a grid of whole cells out: the stages of import/receiver/
// composed (coupling restore, cell filter, cell clock, decisions and baseline, start and
// settling, edge gate, statistics), and stepped sample by sample.
#include "import/cell_receiver.h"

#include <algorithm>
#include <cmath>

#include "common/signal_layout.h"

namespace {

constexpr double NoiseFloor = CellDecision::NoiseFloor;
constexpr double EdgeHysteresis = 0.5;  // the filtered signal must pass this share of the
                                        // amplitude beyond the middle for an edge
constexpr double RestartRatio = 4;      // a cell this many amplitudes from the baseline is a
                                        // new, stronger signal
constexpr int MostCellsPerSample = 8;   // cells decided per sample at most; more would mean
                                        // the clock jumped

}  // namespace

CellReceiver::CellReceiver(const ReceiverSettings& settings)
    : settings_(settings),
      nominal_(settings.SampleRate * MillisecondsPerCell / 1000),
      restore_(nominal_),
      filter_(nominal_),
      clock_(nominal_, settings.FixedCellLength.has_value(),
             nominal_ * settings.FixedCellLength.value_or(1)),
      gate_(settings.MinRunCells * nominal_) {}

void CellReceiver::Feed(const float* samples, std::size_t count, std::vector<double>& edges,
                        std::vector<float>* margins) {
  margins_ = margins;
  // In parts, so that a restoring learnt takes effect within a few cells. The parts lie at
  // fixed places in the input, so however it comes in blocks (a stream's reads), it is received
  // alike.
  const std::size_t partSize = restore_.restored.size();
  while (count > 0) {
    const std::size_t part = std::min(count, partSize - filter_.position % partSize);
    Receive(restore_.Restore(samples, part, clock_.period), part, edges);
    samples += part;
    count -= part;
  }
}

void CellReceiver::Receive(const float* samples, std::size_t count, std::vector<double>& edges) {
  constexpr std::uint64_t Mask = CellFilter::Mask;
  std::size_t i = 0;
  while (i < count) {
    if (!steady_) {
      Step(samples[i++], edges);
      continue;
    }
    // The signal is present, settled and clocked, the common case: per sample the filter runs,
    // and only an edge or a cell to decide needs more. The state it needs is kept in locals,
    // which the stores into the history cannot disturb.
    double sum = filter_.windowSum, previous = clock_.previousFiltered;
    const double middle = middle_, band = band_, side = clock_.side;
    const std::uint64_t decideAt = clock_.decideAt;
    const std::size_t window = filter_.window;
    const double inverseWindow = filter_.inverseWindow;
    std::uint64_t n = filter_.position;
    double filtered = previous, average = 0;
    // The latest crossing of the middle: the sample after it and the values either side, kept
    // without a branch and placed between the samples only when an edge needs it.
    std::uint64_t crossedAt = 0;
    double before = 0, after = 0;
    for (; i < count; ++i, ++n) {
      const double x = samples[i];
      sum += x - filter_.recent[(n - window) & Mask];
      filter_.recent[n & Mask] = x;
      average = sum * inverseWindow;
      filter_.averages[n & Mask] = average;
      filtered = average - middle;
      const bool crossed = (previous < 0) != (filtered < 0);
      crossedAt = crossed ? n : crossedAt;
      before = crossed ? previous : before;
      after = crossed ? filtered : after;
      previous = filtered;
      if (filtered * side < -band || n >= decideAt) break;
    }
    if (crossedAt > 0) {
      clock_.lastCrossing = static_cast<double>(crossedAt) - 1 + before / (before - after);
    }
    filter_.windowSum = sum;
    clock_.previousFiltered = previous;
    if (i == count) {
      filter_.position = n;
      break;
    }
    filter_.position = n + 1;
    ++i;
    if (filtered * side < -band) ChangeSide(filtered, edges);
    DecideCells(n, edges);
    if (decision_.amplitude < NoiseFloor) {
      EndSignal(edges);
      Wait(average, n);
    }
    Refresh();
  }
}

// The fast path's view of the state, after anything that may change it.
void CellReceiver::Refresh() {
  steady_ = start_.present && start_.settling == 0 && clock_.clocked && clock_.side != 0 &&
            decision_.amplitude >= NoiseFloor && filter_.position > 3 * filter_.window + 3;
  middle_ = settings_.FixedThreshold.value_or(decision_.baseline);
  band_ = EdgeHysteresis * decision_.amplitude;
}

void CellReceiver::Step(double x, std::vector<double>& edges) {
  const std::uint64_t n = filter_.position;
  const double average = filter_.Push(x);
  if (n < 3 * filter_.window + 2) return;  // the first averages are of fewer samples than a cell
  if (n == 3 * filter_.window + 2) {
    start_.highest = start_.lowest = average;
    start_.waitingSince = n;
  }
  Settle(average, n);
  if (start_.present) {
    TrackEdge(average - settings_.FixedThreshold.value_or(decision_.baseline), n, edges);
    DecideCells(n, edges);
  }
  Refresh();
}

// Until the signal has settled (at the start, and again after a silence) the baseline and the
// amplitude come from the extremes seen lately, which need no decisions. A signal begins with a
// jump of its average within a cell, far beyond the jumps that noise, hum or droop alone make.
void CellReceiver::Settle(double average, std::uint64_t n) {
  if (start_.present && start_.settling == 0) {
    if (decision_.amplitude < NoiseFloor) Wait(average, n);
    return;
  }
  const double fade = 1 / (SignalStart::ExtremesFadeCells * nominal_);
  const double range = start_.TakeExtremes(average, fade);
  if (!start_.present) {
    const std::size_t window = filter_.window;
    const double jump = std::abs(average - filter_.Average(n - window));
    const double pastJump =
        std::abs(filter_.Average(n - 2 * window - 1) - filter_.Average(n - 3 * window - 1));
    if (!start_.Starts(range, jump, pastJump, n, nominal_, NoiseFloor, fade)) return;
    start_.Begin(n);
    clock_.Reset();
  } else if (start_.holdingFirst && start_.startRange > 0 &&
             range > SignalStart::StrongerStart * start_.startRange) {
    // The recording's first signal, not settled yet, is joined by a far stronger one: what was
    // heard was a codec's pre-echo or another transmitter's crosstalk, and the recording
    // starts anew with the stronger, from its first edge.
    start_.BeginAgain(n);
    gate_.Reset();
    decision_.Restart();
    clock_.Reset();
    clock_.cellsSent = 0;
  }
  decision_.SetFromExtremes(start_.highest, start_.lowest, range);
}

// The signal has ended (or a stronger one begun): wait for a start, learning the noise again
// for a moment first; the level held meanwhile stays, standing for the silence.
void CellReceiver::Wait(double average, std::uint64_t n) {
  start_.Reset(average, n);
  clock_.Reset();
  decision_.Reset();
}

// Edges of the filtered signal set the cell clock.
void CellReceiver::TrackEdge(double filtered, std::uint64_t n, std::vector<double>& edges) {
  const double previous = clock_.previousFiltered;
  if ((previous < 0) != (filtered < 0)) {
    clock_.lastCrossing = static_cast<double>(n) - 1 + previous / (previous - filtered);
  }
  clock_.previousFiltered = filtered;
  if (!clock_.clocked &&
      static_cast<double>(n - start_.presentSince) > SignalStart::ConfirmingCells * nominal_) {
    Wait(filtered + decision_.baseline, n);
    return;
  }
  if (clock_.side == 0) {
    // The signal has just begun: it has left one level for the other. A cell and a half later
    // it has arrived, the middle between the two is known, and the first edge is where the
    // averages crossed it.
    if (clock_.startCountdown < 0) clock_.startCountdown = 1.5 * nominal_ + 1;
    if ((clock_.startCountdown -= 1) > 0) return;
    clock_.startCountdown = -1;
    start_.startRange = start_.highest - start_.lowest;
    filtered = filter_.Average(n) - decision_.baseline;
    const double middle = settings_.FixedThreshold.value_or(decision_.baseline);
    // (Looked for over four windows, or what the history holds when those are longer.)
    const std::size_t lookBack = std::min(4 * filter_.window + 4, CellFilter::History - 1);
    clock_.lastCrossing = static_cast<double>(n);
    for (std::uint64_t m = n - 1; m + lookBack >= n; --m) {
      double before = filter_.Average(m) - middle, after = filter_.Average(m + 1) - middle;
      if ((before < 0) != (after < 0)) {
        clock_.lastCrossing = static_cast<double>(m) + before / (before - after);
        break;
      }
    }
    clock_.side = filtered > 0 ? -1 : 1;  // so that the code below takes the change as an edge
  }
  ChangeSide(filtered, edges);
}

// The filtered signal beyond the hysteresis on the other side from before is an edge.
void CellReceiver::ChangeSide(double filtered, std::vector<double>& edges) {
  const double band = EdgeHysteresis * decision_.amplitude;
  int side = filtered > band ? 1 : filtered < -band ? -1 : clock_.side;
  if (side == clock_.side) return;
  clock_.side = side;
  clock_.decideAt = 0;  // the clock moves: the next decision's time is worked out again
  const double edge = clock_.lastCrossing - filter_.delay;
  if (start_.settling > 0 && --start_.settling == 0) start_.HandOnHeld(edges, margins_);
  if (!clock_.clocked) {
    // The clock starts at this edge; the output's time goes on from where it was. After a
    // silence held as the level the signal now starts with, a cell of the other comes first,
    // so that the start is a change of level.
    clock_.cellsSent = decision_.level == 0 ? edge / clock_.period : clock_.OutputCellAt(edge);
    if (decision_.level == side) Emit(clock_.cellsSent - 1, edges);
    // A signal heard before has shown how long its cells are: a new burst starts from that.
    clock_.Start(edge, settings_.FixedCellLength ? nominal_ * *settings_.FixedCellLength
                                                 : MeasuredSamplesPerCell());
    decision_.level = -side;  // the cells before were of the other level
    return;
  }
  if (clock_.TakeEdge(edge, middle_, filter_.window)) statistics_.AddPeriod(clock_.period);
}

// Each cell whose middle the filter has passed is decided, and a change of level is an edge.
void CellReceiver::DecideCells(std::uint64_t n, std::vector<double>& edges) {
  if (!clock_.clocked || n < clock_.decideAt) return;
  // (The latest edge is placed again at the first decision after its ramp has passed.)
  if (clock_.refineAt != 0 && n >= clock_.refineAt) {
    clock_.RefineEdge(filter_, decision_.amplitude);
  }
  for (int decided = 0; decided < MostCellsPerSample; ++decided) {
    const double start =
        clock_.phase + static_cast<double>(clock_.nextCell - clock_.anchorCell) * clock_.period;
    const double end = start + clock_.period;
    // Its last sample is still to come: decided at the sample that brings it.
    const double ready = std::ceil(end + 0.5);
    if (ready > static_cast<double>(n)) {
      clock_.decideAt = static_cast<std::uint64_t>(std::min(ready, 1.8e19));
      return;
    }
    // A cell is read while the filter's history still holds its samples: a new signal's first
    // cells are a cell and a half old when its clock starts, which at the highest rates is
    // most of the history.
    if (start < static_cast<double>(n) - static_cast<double>(CellFilter::History - 1)) {
      ++clock_.nextCell;  // gone from the history (the clock jumped): take it as the last level
      continue;
    }
    // The filter matched to this very cell: its samples, each weighted by the share of its
    // period that lies inside the cell.
    const double average = filter_.CellAverage(start, end, clock_.inversePeriod);
    const bool settled = start_.settling == 0;
    if (settled && std::abs(average - decision_.baseline) > RestartRatio * decision_.amplitude) {
      // Far stronger than the signal tracked: a transmitter has started; settle on it anew,
      // from its next edge.
      Wait(average, n);
      start_.present = true;
      start_.presentSince = n;
      return;
    }
    const double reference = settings_.FixedThreshold.value_or(decision_.baseline);
    // A cell near the middle is neither level: the transmitter may have gone quiet. Such cells
    // are held until a few in a row make a silence, which counts as the other level from the
    // first of them (as the idle run it stands for); a long one ends the signal. Fewer, and
    // they were cells like any other (noise, or an edge across one).
    // (Margins, when asked for: a quiet cell held joins the run it turns out to be part of.)
    const double margin = margins_ ? decision_.MarginOf(average, reference) : 0;
    int& quiet = decision_.quietCells;
    if (settled && std::abs(average - reference) < CellDecision::QuietShare * decision_.amplitude) {
      if (quiet < CellDecision::QuietCellsForSilence - 1) {
        decision_.heldCells[static_cast<std::size_t>(quiet)] = {clock_.nextCell, average};
        decision_.heldMargins[static_cast<std::size_t>(quiet)] = margin;
      } else if (quiet == CellDecision::QuietCellsForSilence - 1) {
        Emit(clock_.cellsSent + static_cast<double>(decision_.heldCells[0].first), edges);
        decision_.level = -decision_.level;
        decision_.AddToRun(std::min({decision_.heldMargins[0], decision_.heldMargins[1], margin}));
      } else if (quiet >= CellDecision::SilenceCells) {
        EndSignal(edges);
        Wait(average, n);
        return;
      } else {
        decision_.AddToRun(margin);
      }
      ++quiet;
      ++clock_.nextCell;
      continue;
    }
    for (int held = 0; held < std::min(quiet, CellDecision::QuietCellsForSilence - 1); ++held) {
      const auto& [cell, heldAverage] = decision_.heldCells[static_cast<std::size_t>(held)];
      const int heldLevel = heldAverage > reference ? 1 : -1;
      if (quiet >= CellDecision::QuietCellsForSilence) continue;  // (taken with the silence)
      if (heldLevel != decision_.level) {
        Emit(clock_.cellsSent + static_cast<double>(cell), edges);
        decision_.level = heldLevel;
      }
      decision_.AddToRun(decision_.heldMargins[static_cast<std::size_t>(held)]);
    }
    quiet = 0;
    const int level = average > reference ? 1 : -1;
    if (settled) decision_.Learn(average, level);
    statistics_.AddCell(average, level);
    const bool changed = level != decision_.level;
    restore_.TakeCell(average, changed, settled, decision_.level, decision_.amplitude,
                      decision_.slow, clock_.period);
    if (changed) Emit(clock_.cellsSent + static_cast<double>(clock_.nextCell), edges);
    decision_.AddToRun(margin);
    decision_.level = level;
    ++clock_.nextCell;
  }
}

// The signal has ended in a silence: its last change goes on without waiting for the next.
void CellReceiver::EndSignal(std::vector<double>& edges) {
  if (const auto edge = gate_.End()) start_.Hand(*edge, edges, margins_);
}

// A change of level at the start of this cell: the run before has ended.
void CellReceiver::Emit(double cell, std::vector<double>& edges) {
  const double margin = decision_.EndRun(CellDecision::NoMargin);
  if (const auto edge = gate_.Take(cell * nominal_, margin)) start_.Hand(*edge, edges, margins_);
}

void CellReceiver::Finish(std::vector<double>& edges, std::vector<float>* margins) {
  margins_ = margins;
  if (const auto edge = gate_.Last()) start_.Hand(*edge, edges, margins_);
  start_.HandOnHeld(edges, margins_);
}

double CellReceiver::HighLevel() const {
  return statistics_.Level(true, decision_.baseline + decision_.amplitude);
}

double CellReceiver::LowLevel() const {
  return statistics_.Level(false, decision_.baseline - decision_.amplitude);
}

double CellReceiver::GridTimeOf(double sample) const {
  if (decision_.level == 0) return sample;
  return clock_.OutputCellAt(sample) * nominal_;
}

double CellReceiver::MeasuredSamplesPerCell() const {
  return statistics_.Period(clock_.period);
}
