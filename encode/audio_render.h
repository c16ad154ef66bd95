// A capture rendered as a sound-card recording, so every import path can be tested end to end.
// In: run durations, a block at a time. Out: an audio file (WAV, FLAC, AIFF or W64, by the
// name's ending; `-` streams WAV to standard output) in which runs alternate between -amplitude and
// +amplitude; each sample is the average level over its own sample period, so edges keep their
// timing between samples. Optional impairments, as sound cards and transmitters make them: an
// AC-coupled input (a first-order high-pass), a band limit (a second-order low-pass), mains hum, a
// DC offset, inverted polarity, noise, a transmitter whose clock runs fast or slow, and a
// transmitter that is switched off during long idle runs (silence instead of a level). Samples are
// written as soon as the runs that make them are known, so memory stays that of one block whatever
// the length.
#pragma once

#include <sndfile.h>

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "encode/seeded_random.h"
#include "files/output_file.h"

struct AudioRenderOptions {
  int Rate = 44100;
  int Channels = 1;  // every channel carries the same signal
  double Amplitude = 0.8;
  std::string SampleFormat = "pcm16";  // pcm16, pcm24 or float
  double Noise = 0;                    // standard deviation of added noise, full scale 1
  double DcOffset = 0;
  bool Invert = false;
  double AcCouplingMs = 0;  // time constant of the high-pass; 0 for none
  double LowPassHz = 0;     // corner of a second-order Butterworth low-pass; 0 for none
  double HumHz = 50;        // mains hum: its frequency and amplitude (full scale 1)
  double HumAmplitude = 0;
  double TimeScale = 1;     // the transmitter's timing: 1.03 is 3 percent slow
  double SilentRunsMs = 0;  // runs at least this long are silence (transmitter off); 0: none
  std::uint64_t Seed = 1;
};

// Whether `path` names a sound file that can hold `options`' samples; an error text if not.
// `-` is WAV on standard output, streamed: its header gives the sizes as not known.
std::string CheckAudioOutput(const std::string& path, const AudioRenderOptions& options);

class AudioRenderer {
 public:
  AudioRenderer() : random_(1) {}
  AudioRenderer(const AudioRenderer&) = delete;
  AudioRenderer& operator=(const AudioRenderer&) = delete;
  ~AudioRenderer();

  // Opens the output; nothing replaces `path` before Commit(). Returns an error text.
  std::string Open(const std::string& path, const AudioRenderOptions& options);

  // The next runs of the capture, in order. Returns false once writing has failed.
  bool Add(const std::int32_t* durations, std::size_t count);

  // Renders the rest (the recording ends with the last run) and finishes the file, still under
  // its temporary name. Returns an error text.
  std::string Finish();

  // Puts the finished file in place. Returns an error text.
  std::string Commit();

  // A WAV stream's samples, as libsndfile hands them on.
  struct Stream {
    std::FILE* Out;
    sf_count_t Written;  // bytes so far
  };

 private:
  bool RenderUpTo(double end, bool last);
  bool WriteSample(double value);
  bool WriteBlock();

  AudioRenderOptions options_;
  OutputFile file_;
  SNDFILE* sound_ = nullptr;
  Stream stream_{nullptr, 0};  // `-` only
  SeededRandom random_;
  double samplesPerUnit_ = 0;
  double highPass_ = 0;
  double previousInput_ = 0, previousOutput_ = 0;
  std::array<double, 5> lowPass_{};       // b0, b1, b2, a1, a2
  std::array<double, 4> lowPassState_{};  // x1, x2, y1, y2
  double silentSamples_ = 0;
  double previousEdge_ = 0;     // the start of the run at edges_.front()
  double units_ = 0;            // the end of the runs added so far, in capture units
  std::deque<double> edges_;    // ends of runs not yet behind the next sample, in samples
  std::uint64_t firstRun_ = 0;  // the run whose end is edges_.front()
  std::uint64_t nextSample_ = 0;
  std::vector<float> block_;
  bool written_ = true;
};
