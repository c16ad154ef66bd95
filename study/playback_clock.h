// A capture file played at its own pace. In: signal times in ms (a frame's end, an event's
// time) and the speed. Out: when, on the steady clock, each is due, and which signal time the
// clock has reached now. Speed 0 plays as fast as it decodes (everything is due at once).
#pragma once

#include <chrono>
#include <cmath>
#include <cstdint>

class PlaybackClock {
 public:
  using Clock = std::chrono::steady_clock;

  // Starts the signal's time 0 now.
  explicit PlaybackClock(double speed) : speed_(speed), start_(Clock::now()) {}

  bool Paced() const { return speed_ > 0; }

  // When signal time `ms` is due.
  Clock::time_point Due(double ms) const {
    return start_ + std::chrono::microseconds(static_cast<std::int64_t>(
                        std::fmin(std::fmax(0, ms) / speed_ * 1000, 1e15)));
  }

  // The signal time reached now.
  double SignalNow() const {
    return std::chrono::duration<double, std::milli>(Clock::now() - start_).count() * speed_;
  }

 private:
  double speed_;
  Clock::time_point start_;
};
