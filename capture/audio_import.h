// Audio recordings to captures: libsndfile reads the file block by block (WAV, FLAC, AIFF,
// W64, RF64 and the rest it knows; integer or float samples; any rate), one channel is sliced
// into level changes, and the edges become run durations. Memory stays fixed for recordings of
// any length.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "capture/edge_timeline.h"
#include "capture/level_slicer.h"

struct AudioImportOptions {
  int Channel = 1;  // 1-based
  SlicerSettings Slicer;
  double Scale = 1;
};

struct ImportSummary {
  std::string Format;  // as the input's reader names it
  double Rate = 0;     // samples per second (0 for event-based inputs)
  int Channels = 0;
  double Seconds = 0;  // length of the recording
  double HighLevel = 0, LowLevel = 0;
  std::uint64_t Runs = 0;
  std::uint64_t RunsClamped = 0;
  CellLengthFit Fit;
};

// Called after each block of a recording longer than a few seconds, with the fraction read.
using ProgressReport = std::function<void(double)>;

// Reads `path` and writes its runs to `output`. Returns an error text, empty on success.
std::string ImportAudio(const std::string& path, const AudioImportOptions& options,
                        std::FILE* output, ImportSummary& summary, const ProgressReport& progress);
