// Where an import's samples come from: a sound file, raw PCM, or a sound card, all seen alike.
// In: the input, opened by the source. Out: blocks of one channel's samples as floats (full
// scale 1), read as they become available, so a live input is received while it plays. While a
// live source waits for samples it calls its Waiting hook (input_wait.h) every IdleWaitMs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "files/input_wait.h"

class SampleSource {
 public:
  virtual ~SampleSource() = default;

  // Up to `frames` samples of the chosen channel into `mono`; the number read (waiting for at
  // least one on a live input), 0 at the end of the input or when Waiting said stop, -1 on an
  // error (Error() says which).
  virtual long Read(float* mono, std::size_t frames) = 0;

  virtual std::string Error() const = 0;

  // The format's name, its rate and channels, for the summary.
  std::string Format;
  double Rate = 0;
  int Channels = 0;
  // Frames the input announces (0 when it cannot tell), for progress and the truncation check.
  std::int64_t AnnouncedFrames = 0;
  // A pipe, a FIFO, a terminal or a sound card: it ends when the user says so.
  bool Live = false;
  // Samples per read that keep a live input's delay low (a sound card's period).
  std::size_t BlockFrames = 1 << 16;
  std::uint64_t Overruns = 0;
  // Called while a live source waits for samples; false ends the input there.
  WaitHook Waiting;
};
