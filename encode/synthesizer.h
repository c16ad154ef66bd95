// Frames to a capture. In: frame fields, one frame at a time. Out: run durations. Every frame is
// preceded by an 18-cell sync run, its bits become runs (starting at level 0, as the decoder
// reads them after a sync), and the runs become durations. Memory stays that of one frame,
// however many frames there are.
//
// Impairments, all off by default and repeatable for a given seed (glitches and jitter draw from
// generators of their own, so a capture without glitches has the same jitter whatever the rate):
//   jitter      each edge moves by up to this many units (see cell_durations.h)
//   glitchRate  this fraction of frames gets one fault: a code word replaced by an invalid one,
//               or a run split by a one-cell spike of the other level
//   gapMs       an idle run of this length between frames (never exactly a sync's 18 cells),
//               or only between every gapEvery frames (bursts of frames)
//   timeScale   every cell lasts this many times 6.623 units (1.03: a transmitter 3 percent slow)
#pragma once

#include <cstdint>
#include <vector>

#include "encode/cell_durations.h"
#include "encode/frame_bits.h"

struct Impairments {
  double Jitter = 0;
  double GlitchRate = 0;
  double GapMs = 0;
  std::size_t GapEvery = 1;  // the gap comes before every this many frames
  double TimeScale = 1;
  std::uint64_t Seed = 1;
};

class CaptureSynthesizer {
 public:
  explicit CaptureSynthesizer(const Impairments& impairments);
  CaptureSynthesizer(const CaptureSynthesizer&) = delete;
  CaptureSynthesizer& operator=(const CaptureSynthesizer&) = delete;

  // Appends the runs of `frame` (and the idle gap before it) to `durations`, and their cells to
  // `cells` when given.
  void AddFrame(const FrameFields& frame, RunDurations& durations, CellRuns* cells = nullptr);

  std::size_t GlitchedFrames() const { return glitched_; }

 private:
  Impairments impairments_;
  std::int32_t gapCells_;
  SeededRandom glitchRandom_;
  SeededRandom jitterRandom_;
  DurationClock clock_;
  std::size_t frames_ = 0, glitched_ = 0;
  BitStream bits_;  // one frame's bits, reused
  CellRuns runs_;   // one frame's runs, reused
};

// A whole capture in memory (tests and benchmarks).
struct SynthesizedCapture {
  CellRuns Cells;
  RunDurations Durations;
  std::size_t GlitchedFrames = 0;
};

SynthesizedCapture SynthesizeCapture(const std::vector<FrameFields>& frames,
                                     const Impairments& impairments);
