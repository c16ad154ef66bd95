// What the joystick does when the signal goes. In: the decode's frames and its signal-lost and
// signal-back announcements, and the time (signal ms) as it passes. Out: the step the joystick
// takes, once, at the moment it is due.
//
//   state     on                             next      step
//   NoSignal  Frame                          Live      SignalBack: press the signal button
//   Live      Lost(t)                        Waiting   SignalGone: release it, hold the axes
//   Waiting   Tick(now >= t + delay)         Engaged   Engage: hold, centre, or remove the device
//   Waiting   Back, Frame                    Live      SignalBack
//   Engaged   Back, Frame                    Live      SignalBack (the device comes back first)
//   any       anything else                  same      None
#pragma once

#include <string>

enum class FailsafeMode { Hold, Centre, Release };

// The names --failsafe takes, and back.
bool ParseFailsafeMode(const std::string& name, FailsafeMode& mode);
const char* FailsafeModeName(FailsafeMode mode);

enum class FailsafeStep { None, SignalGone, Engage, SignalBack };

struct Failsafe {
  enum class State { NoSignal, Live, Waiting, Engaged };

  double DelayMs = 250;  ///< from the signal lost to the failsafe engaged
  State Now = State::NoSignal;
  double LostMs = 0;  ///< when the signal was lost

  FailsafeStep Frame(double ms);
  FailsafeStep Lost(double ms);
  FailsafeStep Back(double ms);
  FailsafeStep Tick(double ms);
  // Words for the state, for a status line: "no signal", "live", "signal lost", "engaged".
  const char* StateName() const;
};
