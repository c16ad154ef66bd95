// The cell clock: edges in, the cells' boundaries out (see cell_clock.h).
#include "import/receiver/cell_clock.h"

#include <algorithm>
#include <cmath>

#include "import/receiver/cell_filter.h"

void CellClock::Start(double edge, double length) {
  phase = edge;
  period = length;
  inversePeriod = 1 / period;
  nextCell = 0;
  anchorCell = 0;
  clocked = true;
  acquiring = AcquiringEdges;
}

bool CellClock::TakeEdge(double edge, double middle, std::size_t window) {
  // The boundary nearest the edge becomes the clock's anchor, so a change of the period moves
  // only the boundaries still to come.
  const double cells = std::round((edge - phase) / period);
  const double error = edge - (phase + cells * period);
  // The phase error grows with the cells since the previous edge when the period is off.
  const double span = std::max(1.0, cells);
  phase += cells * period;
  anchorCell += static_cast<std::int64_t>(cells);
  const bool acquiringNow = acquiring > 0;
  if (acquiringNow) --acquiring;
  if (acquiringNow && std::abs(error) > SnapError * period) {
    phase += error;
    return false;
  }
  Follow(error, span, acquiringNow);
  if (!acquiringNow && period >= RefineFromSamples) {
    refineCrossing = lastCrossing;
    refineMiddle = middle;
    refineSpan = span;
    refineAt = static_cast<std::uint64_t>(std::max(lastCrossing, 0.0)) + window + 2;
  }
  return !acquiringNow;
}

// The edge was placed where the filtered signal crossed the middle; when the levels either side
// of it are not symmetric about the middle (another transmitter's crosstalk, a baseline still
// moving), that is early or late. Once the ramp has passed, the edge is placed again where the
// filtered signal crossed halfway between the levels before and after it, and the clock takes
// the difference as it took the edge.
void CellClock::RefineEdge(const CellFilter& filter, double amplitude) {
  const std::size_t window = filter.window;
  refineAt = 0;
  // (The crossing is at least a few windows into the input, and its edge not long ago.)
  if (!(refineCrossing >= static_cast<double>(window))) return;
  const auto crossed = static_cast<std::uint64_t>(refineCrossing);
  if (filter.position < crossed || filter.position - crossed > CellFilter::History / 2) return;
  const double before = filter.Average(crossed - window);
  const double after = filter.Average(crossed + window + 1);
  // The filtered edge is a ramp a window long from one level to the other: the crossing of the
  // halfway level lies that share of the window from the crossing of the middle.
  const double rise = after - before, height = std::abs(rise);
  if (height < amplitude) return;  // no clean edge to read
  const double shift = std::clamp((before + after) / 2 - refineMiddle, -height, height) / rise *
                       static_cast<double>(window);
  Follow(shift, refineSpan, false);
}

// Its phase moves by a share of the error, its period (unless fixed) by less.
void CellClock::Follow(double error, double span, bool acquiringNow) {
  phase += (acquiringNow ? PhaseGainAcquiring : PhaseGain) * error;
  if (fixedLength) return;
  period += (acquiringNow ? PeriodGainAcquiring : PeriodGain) * error / span;
  period = std::clamp(period, nominal * (1 - WidestDrift), nominal * (1 + WidestDrift));
  inversePeriod = 1 / period;
}
