// The receiver's edge gate. In: the level changes decided, in samples on the output's grid,
// each with the weakest decision margin of the run it ends. Out: the same, at once when no
// shortest run is set; otherwise each once the next has shown that the run between was no
// glitch (shorter runs are dropped with both of their edges, and the runs either side join, with
// the weakest margin of the three). When the signal ends, the edge kept is handed on at once:
// the run after it is the silence, however long it lasts, and a frame it ends is not held back
// until the transmitter is back.
#pragma once

#include <algorithm>
#include <optional>

#include "import/receiver/cell_decision.h"

struct GatedEdge {
  double time;    ///< in samples on the output's grid
  double margin;  ///< the weakest decision margin of the run it ends
};

struct EdgeGate {
  explicit EdgeGate(double shortest) : shortest(shortest) {}

  // Forgets the edge kept (the recording starts anew).
  void Reset() {
    pending.reset();
    lastPassed.reset();
    lastEnded.reset();
    dropped = CellDecision::NoMargin;
  }

  // Takes the next edge; returns the one before when the run between is long enough.
  std::optional<GatedEdge> Take(double edge, double margin) {
    // Nothing to wait for: an edge held back would hold back the frame it ends, and across a
    // silence until the signal returns. An edge before the one handed on last (a restart's
    // reckoning) would make a run of negative length: it is dropped.
    if (shortest <= 0) {
      if (lastPassed && edge < *lastPassed) {
        dropped = std::min(dropped, margin);
        return std::nullopt;
      }
      lastPassed = edge;
      const GatedEdge passed{edge, std::min(margin, dropped)};
      dropped = CellDecision::NoMargin;
      return passed;
    }
    std::optional<GatedEdge> passed;
    if (!pending && lastEnded && edge < *lastEnded) {
      dropped = std::min(dropped, margin);
      return passed;
    }
    if (pending) {
      if (edge - pending->time < shortest) {
        // A run too short: drop both of its edges.
        dropped = std::min({dropped, pending->margin, margin});
        pending.reset();
        return passed;
      }
      passed = pending;
    }
    pending = GatedEdge{edge, std::min(margin, dropped)};
    dropped = CellDecision::NoMargin;
    return passed;
  }

  // The signal has ended: the edge kept goes on now. (An edge after it that comes too soon is
  // kept like any other; one before it would make a run of negative length, and is dropped.)
  std::optional<GatedEdge> End() {
    std::optional<GatedEdge> last = Last();
    if (last) lastEnded = last->time;
    return last;
  }

  // The edge kept, at the end of the input.
  std::optional<GatedEdge> Last() {
    std::optional<GatedEdge> last = pending;
    pending.reset();
    return last;
  }

  const double shortest;             ///< runs shorter than this (in samples) are dropped; 0: none
  std::optional<GatedEdge> pending;  ///< the newest edge, kept until the next shows it was no
                                     ///< glitch
  double dropped = CellDecision::NoMargin;  ///< the weakest margin of the runs dropped since
  std::optional<double> lastPassed;         ///< the edge handed on last, without a shortest run
  std::optional<double> lastEnded;          ///< the edge handed on when the signal last ended
};
