// Where runs go once they are found. In: run durations in capture units, in order, and the news
// that time has passed without an edge or that the input has nothing for now. Out: whatever the
// sink does with them: a capture file's writer stores them, a decode session decodes them.
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

  // The signal has gone on to `ms` from its start, whether or not an edge came (silence is
  // time too). On the same clock as the runs: a cell is 0.15 ms.
  virtual void SignalTime(double /*ms*/) {}

  // A block of input is handled: what is ready goes on now, since someone may be reading live.
  virtual void HandOn() {}

  // The input has nothing for now: called before a reader waits and every IdleWaitMs while it
  // does. False ends the input there (the reader quit).
  virtual bool Waiting() { return true; }
};
