// A capture rendered as a sound-card recording, so every import path can be tested end to end.
// Runs alternate between -amplitude and +amplitude; each sample is the average level over its
// own sample period, so edges keep their timing between samples. Optional impairments: an
// AC-coupled input (a first-order high-pass), a DC offset, inverted polarity and noise.
#pragma once

#include <cstdint>
#include <string>

#include "encode/cell_durations.h"

struct AudioRenderOptions {
  int Rate = 44100;
  int Channels = 1;  // every channel carries the same signal
  double Amplitude = 0.8;
  std::string SampleFormat = "pcm16";  // pcm16, pcm24 or float
  double Noise = 0;                    // standard deviation of added noise, full scale 1
  double DcOffset = 0;
  bool Invert = false;
  double AcCouplingMs = 0;  // time constant of the high-pass; 0 for none
  std::uint64_t Seed = 1;
};

// Writes the audio file `path` (WAV, FLAC, AIFF or W64 by its extension), atomically. Returns an
// error text, empty on success.
std::string RenderAudio(const std::string& path, const RunDurations& durations,
                        const AudioRenderOptions& options);
