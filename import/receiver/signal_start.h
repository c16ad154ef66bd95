// The receiver's start and settling. In: the running averages while no signal is settled.
// Out: whether a signal has started (a jump of the average far beyond what noise makes), the
// extremes seen lately for the decisions to start from, and the recording's first edges, held
// until its signal has settled so that a false start (crosstalk, a codec's pre-echo) can be
// taken back (and their margins with them).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "import/receiver/cell_decision.h"
#include "import/receiver/edge_gate.h"

struct SignalStart {
  static constexpr double StartingAboveNoise = 6;    // a start jumps the average within a cell this
                                                     // many times what noise, hum or droop make
  static constexpr double LearningNoiseCells = 4;    // the noise is learnt this long (and at least
  static constexpr double LearningNoiseSamples = 4;  // this many samples) before a start is taken
  static constexpr double ConfirmingCells = 6;       // a start no edge confirms this soon was noise
  static constexpr double StrongerStart = 2.5;     // while the first signal settles, one this many
                                                   // times its first range makes a new start
  static constexpr int SettlingEdges = 8;          // edges learnt from the extremes after a start
  static constexpr double ExtremesFadeCells = 30;  // the extremes let go over thirty cells

  // Waits for a start from this sample on, the extremes starting at `average`; the noise is
  // learnt again first.
  void Reset(double average, std::uint64_t n) {
    settling = SettlingEdges;
    highest = lowest = average;
    present = false;
    waitingSince = n;
  }

  // A signal has started at sample n; its range is taken at its first edge.
  void Begin(std::uint64_t n) {
    presentSince = n;
    present = sawSignal = true;
    startRange = 0;
  }

  // The recording's first signal was a false start: the recording starts anew at sample n, its
  // held edges forgotten.
  void BeginAgain(std::uint64_t n) {
    heldCount = 0;
    presentSince = n;
    settling = SettlingEdges;
    startRange = 0;
  }

  // The extremes take the next average (fast to reach a new one, slow to let it go); returns
  // their range.
  double TakeExtremes(double average, double fade) {
    highest = average > highest ? average : highest - (highest - average) * fade;
    lowest = average < lowest ? average : lowest + (average - lowest) * fade;
    return highest - lowest;
  }

  // Whether a signal starts at sample n: the average's `jump` within a cell against the noise's
  // (learnt from `pastJump`, two cells back, so an edge's own jump is not taken for noise).
  bool Starts(double range, double jump, double pastJump, std::uint64_t n, double nominal,
              double noiseFloor, double fade);

  // An edge to hand on (and its margin, when `margins` is given): held while the first signal
  // settles (the held ones go first when full).
  void Hand(const GatedEdge& edge, std::vector<double>& edges, std::vector<float>* margins) {
    if (holdingFirst && heldCount == heldEdges.size()) HandOnHeld(edges, margins);
    if (!holdingFirst) {
      edges.push_back(edge.time);
      if (margins) margins->push_back(MarginOut(edge.margin));
      return;
    }
    heldEdges[heldCount] = edge.time;
    heldMargins[heldCount++] = edge.margin;
  }

  // The first signal has settled (or the input ended): its held edges go on.
  void HandOnHeld(std::vector<double>& edges, std::vector<float>* margins) {
    if (!holdingFirst) return;
    edges.insert(edges.end(), heldEdges.begin(),
                 heldEdges.begin() + static_cast<std::ptrdiff_t>(heldCount));
    for (std::size_t k = 0; margins && k < heldCount; ++k) {
      margins->push_back(MarginOut(heldMargins[k]));
    }
    heldCount = 0;
    holdingFirst = false;
  }

  // A margin as handed on: a run of which no cell was decided (before a signal's first edge)
  // has none, 0; samples far beyond full scale (never cleaned) cannot take it past a float.
  static float MarginOut(double margin) {
    return margin == CellDecision::NoMargin ? 0.0f : static_cast<float>(std::min(margin, 1e9));
  }

  bool present = false;                ///< a signal is there (started, not yet ended)
  bool sawSignal = false;              ///< one ever was
  int settling = SettlingEdges;        ///< edges still to learn from the extremes
  double highest = 0;                  ///< the highest average seen lately, while settling
  double lowest = 0;                   ///< the lowest
  double noiseJump = 0;                ///< how far the average moves in a cell without a signal
  std::uint64_t waitingSince = 0;      ///< the sample since which a start is waited for
  std::uint64_t presentSince = 0;      ///< the sample at which the signal started
  double startRange = 0;               ///< the first signal's range at its first edge (0: not yet)
  bool holdingFirst = true;            ///< the recording's first signal has not settled yet
  std::array<double, 32> heldEdges{};  ///< its edges, held
  std::array<double, 32> heldMargins{};  ///< their margins
  std::size_t heldCount = 0;             ///< how many
};
