// Frames to a capture: every frame is preceded by an 18-cell sync run, its bits become runs
// (starting at level 0, as the decoder reads them after a sync), and the runs become durations.
//
// Impairments, all off by default and repeatable for a given seed:
//   jitter      each edge moves by up to this many units (see cell_durations.h)
//   glitchRate  this fraction of frames gets one fault: a code word replaced by an invalid one,
//               or a run split by a one-cell spike of the other level
//   gapMs       an idle run of this length between frames (never exactly a sync's 18 cells)
#pragma once

#include <cstdint>
#include <vector>

#include "encode/cell_durations.h"
#include "encode/frame_bits.h"

struct Impairments {
  double Jitter = 0;
  double GlitchRate = 0;
  double GapMs = 0;
  std::uint64_t Seed = 1;
};

struct SynthesizedCapture {
  CellRuns Cells;
  RunDurations Durations;
  std::size_t GlitchedFrames = 0;
};

SynthesizedCapture SynthesizeCapture(const std::vector<FrameFields>& frames,
                                     const Impairments& impairments);
