// One decode, two readers: a screen and a joystick watch the same frames. In: the decode
// session's events. Out: the same events, to the first reader and then to the second, each
// seeing the session; the decode goes on while both want more.
#pragma once

#include <cstddef>
#include <cstdint>

#include "study/decode_session.h"

class DecodeFanOut : public DecodeObserver {
 public:
  // The first reader hears each event first: the one whose output cannot wait (a joystick).
  DecodeFanOut(DecodeObserver& first, DecodeObserver& second) : first_(first), second_(second) {}

  void OnRuns(const std::int32_t* durations, std::size_t count) override {
    Share();
    first_.OnRuns(durations, count);
    second_.OnRuns(durations, count);
  }
  void OnSync(double ms) override {
    Share();
    first_.OnSync(ms);
    second_.OnSync(ms);
  }
  void OnGroup(std::uint32_t groupIndex, const GroupFields& fields) override {
    Share();
    first_.OnGroup(groupIndex, fields);
    second_.OnGroup(groupIndex, fields);
  }
  void OnFrame(const DecodedFrame& frame) override {
    Share();
    first_.OnFrame(frame);
    second_.OnFrame(frame);
  }
  void OnDoubtfulFrame(const DecodedFrame& frame, FrameDoubt why) override {
    Share();
    first_.OnDoubtfulFrame(frame, why);
    second_.OnDoubtfulFrame(frame, why);
  }
  void OnLostFrame(double ms, FrameLoss why) override {
    Share();
    first_.OnLostFrame(ms, why);
    second_.OnLostFrame(ms, why);
  }
  void OnSignalLost(double ms, SignalLoss why) override {
    Share();
    first_.OnSignalLost(ms, why);
    second_.OnSignalLost(ms, why);
  }
  void OnSignalBack(double ms) override {
    Share();
    first_.OnSignalBack(ms);
    second_.OnSignalBack(ms);
  }
  void OnIdle() override {
    Share();
    first_.OnIdle();
    second_.OnIdle();
  }
  bool WantsMore() override {
    Share();
    // Both are asked, so each notices its own reasons to stop (a key, a failed device).
    const bool first = first_.WantsMore();
    const bool second = second_.WantsMore();
    return first && second;
  }

 private:
  // The session this fan-out is told about, passed on before every event.
  void Share() { first_.Session = second_.Session = Session; }

  DecodeObserver& first_;
  DecodeObserver& second_;
};
