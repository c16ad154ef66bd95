// The failsafe's states stepped by frames, signal announcements and time.
#include "joystick/failsafe.h"

bool ParseFailsafeMode(const std::string& name, FailsafeMode& mode) {
  if (name == "hold") {
    mode = FailsafeMode::Hold;
  } else if (name == "centre" || name == "center") {
    mode = FailsafeMode::Centre;
  } else if (name == "release") {
    mode = FailsafeMode::Release;
  } else {
    return false;
  }
  return true;
}

const char* FailsafeModeName(FailsafeMode mode) {
  switch (mode) {
    case FailsafeMode::Hold:
      return "hold";
    case FailsafeMode::Centre:
      return "centre";
    case FailsafeMode::Release:
      return "release";
  }
  return "";
}

FailsafeStep Failsafe::Frame(double ms) {
  return Back(ms);
}

FailsafeStep Failsafe::Lost(double ms) {
  if (Now != State::Live) return FailsafeStep::None;
  Now = State::Waiting;
  LostMs = ms;
  return FailsafeStep::SignalGone;
}

FailsafeStep Failsafe::Back(double /*ms*/) {
  if (Now == State::Live) return FailsafeStep::None;
  Now = State::Live;
  return FailsafeStep::SignalBack;
}

FailsafeStep Failsafe::Tick(double ms) {
  if (Now != State::Waiting || ms < LostMs + DelayMs) return FailsafeStep::None;
  Now = State::Engaged;
  return FailsafeStep::Engage;
}

const char* Failsafe::StateName() const {
  switch (Now) {
    case State::NoSignal:
      return "no signal";
    case State::Live:
      return "live";
    case State::Waiting:
      return "signal lost";
    case State::Engaged:
      return "failsafe engaged";
  }
  return "";
}
