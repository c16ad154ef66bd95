// The receiver's edge gate. In: the level changes decided, in samples on the output's grid.
// Out: the same, each once the next has shown that the run between was no glitch (when a
// shortest run is set: shorter runs are dropped with both of their edges).
#pragma once

#include <optional>

struct EdgeGate {
  explicit EdgeGate(double shortest) : shortest(shortest) {}

  // Forgets the edge kept (the recording starts anew).
  void Reset() { pending.reset(); }

  // Takes the next edge; returns the one before when the run between is long enough.
  std::optional<double> Take(double edge) {
    std::optional<double> passed;
    if (pending) {
      if (edge - *pending < shortest) {
        pending.reset();  // a run too short: drop both of its edges
        return passed;
      }
      passed = pending;
    }
    pending = edge;
    return passed;
  }

  // The edge kept, at the end of the input.
  std::optional<double> Last() {
    std::optional<double> last = pending;
    pending.reset();
    return last;
  }

  const double shortest;          ///< runs shorter than this (in samples) are dropped; 0: none
  std::optional<double> pending;  ///< the newest edge, kept until the next shows it was no glitch
};
