// Where runs go once they are found. In: run durations in capture units, in order, and the news
// that time has passed without an edge or that the input has nothing for now. Out: whatever the
// sink does with them: a capture file's writer stores them, a decode session decodes them (and,
// when the receiver measured them, grades each frame by its runs' weakest decision margins).
//
// A receiver hands its runs to a sink as it finds them, so a live input is decoded in the same
// process without re-encoding it: source -> receiver -> sink.
#pragma once

#include <cstddef>
#include <cstdint>

class RunSink {
 public:
  virtual ~RunSink() = default;

  // The next runs, in order. False: the sink takes no more (a write failed, its reader quit).
  virtual bool TakeRuns(const std::int32_t* durations, std::size_t count) = 0;

  // Whether the sink uses each run's weakest decision margin (a receiver measures them only
  // for a sink that does).
  virtual bool WantsMargins() const { return false; }
  // The next runs with, beside each, the weakest decision margin of its cells (in amplitudes
  // from the middle: 0 on it, about 1 for a clean cell). Sinks that want none store the runs.
  virtual bool TakeGradedRuns(const std::int32_t* durations, const float* /*margins*/,
                              std::size_t count) {
    return TakeRuns(durations, count);
  }

  // The signal has gone on to `ms` from its start, whether or not an edge came (silence is
  // time too). On the same clock as the runs: a cell is 0.15 ms.
  virtual void SignalTime(double /*ms*/) {}

  // A block of input is handled: what is ready goes on now, since someone may be reading live.
  virtual void HandOn() {}

  // The input has nothing for now: called before a reader waits and every IdleWaitMs while it
  // does. False ends the input there (the reader quit).
  virtual bool Waiting() { return true; }
};
