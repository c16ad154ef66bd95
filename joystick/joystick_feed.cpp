// Decoded frames in, joystick reports out, with the failsafe in between.
#include "joystick/joystick_feed.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "common/signal_layout.h"
#include "files/stop_signal.h"

namespace {

// While a file plays, the failsafe is looked at this often between frames.
constexpr auto TickEvery = std::chrono::milliseconds(5);

}  // namespace

JoystickFeed::JoystickFeed(UinputJoystick& joystick, const JoystickLayout& layout,
                           const Calibration& calibration, const FailsafePlan& plan,
                           const PlaybackClock* clock)
    : joystick_(joystick),
      layout_(layout),
      calibration_(calibration),
      plan_(plan),
      clock_(clock != nullptr && clock->Paced() ? clock : nullptr) {
  failsafe_.DelayMs = plan.DelayMs;
  position_.fill(-1);
  // Before the first frame every axis rests where the failsafe would put it.
  shape_.Name = layout.Name;
  for (int axis = 0; axis < AxisCount; ++axis) {
    const int channel = layout.AxisChannel[static_cast<std::size_t>(axis)];
    if (channel == 0) continue;
    const AxisRange range = RangeOf(CalibrationOf(channel));
    shape_.Axes.push_back({AxisCodes[static_cast<std::size_t>(axis)], range.Minimum, range.Maximum,
                           FailsafeValue(channel)});
  }
  for (std::size_t b = 0; b < layout.Buttons.size(); ++b) {
    shape_.Buttons.push_back(FirstChannelButton + static_cast<int>(b));
  }
  shape_.Buttons.push_back(SignalButton);
}

const ChannelCalibration* JoystickFeed::CalibrationOf(int channel) const {
  const auto& c = calibration_.Channels[static_cast<std::size_t>(channel - 1)];
  return c ? &*c : nullptr;
}

// Where the centre failsafe puts a channel's axis: its centre, or its minimum for the channels
// given to --failsafe-low.
int JoystickFeed::FailsafeValue(int channel) const {
  const auto index = static_cast<std::size_t>(channel - 1);
  const ChannelCalibration* c = CalibrationOf(channel);
  return plan_.Low[index] ? LowestValue(layout_.Reversed[index], c)
                          : CentreValue(layout_.Reversed[index], c);
}

std::string JoystickFeed::Start() {
  return joystick_.Create(shape_);
}

bool JoystickFeed::WantsMore() {
  return error_.empty() && !StopRequested();
}

// A capture file plays at its pace: wait for `ms`, stepping the failsafe as time passes.
void JoystickFeed::Pace(double ms) {
  if (clock_ == nullptr) {
    Look(ms);
    return;
  }
  const auto due = clock_->Due(ms);
  while (WantsMore()) {
    const auto now = PlaybackClock::Clock::now();
    Look(std::min(ms, clock_->SignalNow()));
    if (now >= due) return;
    std::this_thread::sleep_for(std::min<PlaybackClock::Clock::duration>(due - now, TickEvery));
  }
}

// Signal time `now` has come: the failsafe steps.
void JoystickFeed::Look(double now) {
  Step(failsafe_.Tick(now));
}

void JoystickFeed::OnIdle() {
  if (clock_ != nullptr || failsafe_.Now == Failsafe::State::Live) return;
  // A stalled input has no signal time: its wall time counts.
  const double now =
      std::max(Session != nullptr ? Session->NowMs() : lostMs_, lostMs_ + sinceLost_.SignalNow());
  Look(now);
}

void JoystickFeed::OnSync(double ms) {
  Pace(ms);
}

void JoystickFeed::OnLostFrame(double ms, FrameLoss /*why*/) {
  Pace(ms);
}

void JoystickFeed::OnFrame(const DecodedFrame& frame) {
  Pace(frame.EndMs);
  lastFrameMs_ = frame.EndMs;
  for (std::size_t c = 1; c <= ChannelCount; ++c) position_[c - 1] = frame.Held[c];
  Step(failsafe_.Frame(frame.EndMs));
  Send();
}

void JoystickFeed::OnSignalLost(double ms, SignalLoss /*why*/) {
  Pace(ms);
  lostMs_ = ms;
  sinceLost_ = PlaybackClock(1);
  Step(failsafe_.Lost(ms));
}

void JoystickFeed::Finish(double signalLostMs) {
  // The input's end is the signal's: lost as the session would say it, then the failsafe.
  const double lostAt = lastFrameMs_ + signalLostMs;
  const double endMs = lostAt + failsafe_.DelayMs;
  if (clock_ != nullptr) {
    Pace(lostAt);
    if (failsafe_.Now == Failsafe::State::Live) Step(failsafe_.Lost(lostAt));
    Pace(endMs);
    return;
  }
  // A stream has no clock of its own: the same moments, from now.
  const PlaybackClock fromEnd(1);
  while (WantsMore()) {
    const double now = std::min(endMs, lastFrameMs_ + fromEnd.SignalNow());
    if (now >= lostAt && failsafe_.Now == Failsafe::State::Live) Step(failsafe_.Lost(lostAt));
    Look(now);
    if (now >= endMs) return;
    std::this_thread::sleep_for(TickEvery);
  }
}

void JoystickFeed::Step(FailsafeStep step) {
  switch (step) {
    case FailsafeStep::None:
      return;
    case FailsafeStep::SignalGone:
      joystick_.SetButton(SignalButton, false);
      break;
    case FailsafeStep::Engage:
      if (plan_.Mode == FailsafeMode::Release) {
        joystick_.Remove();
        return;
      }
      if (plan_.Mode == FailsafeMode::Centre) {
        for (int axis = 0; axis < AxisCount; ++axis) {
          const int channel = layout_.AxisChannel[static_cast<std::size_t>(axis)];
          if (channel != 0) {
            joystick_.SetAxis(AxisCodes[static_cast<std::size_t>(axis)], FailsafeValue(channel));
          }
        }
      }
      break;
    case FailsafeStep::SignalBack:
      // Reported by Send, with the values of the frame that brought the signal back.
      joystick_.SetButton(SignalButton, true);
      return;
  }
  if (error_.empty()) error_ = joystick_.Report();
}

// The channels' latest positions to the axes and buttons (only while the signal is live), then
// one report.
void JoystickFeed::Send() {
  if (failsafe_.Now != Failsafe::State::Live) return;
  for (int axis = 0; axis < AxisCount; ++axis) {
    const int channel = layout_.AxisChannel[static_cast<std::size_t>(axis)];
    if (channel == 0) continue;
    const auto index = static_cast<std::size_t>(channel - 1);
    if (position_[index] < 0) continue;
    joystick_.SetAxis(AxisCodes[static_cast<std::size_t>(axis)],
                      AxisValue(position_[index], layout_.Reversed[index], CalibrationOf(channel)));
  }
  for (std::size_t b = 0; b < layout_.Buttons.size(); ++b) {
    const ButtonRule& rule = layout_.Buttons[b];
    const auto index = static_cast<std::size_t>(rule.Channel - 1);
    if (position_[index] < 0) continue;
    joystick_.SetButton(FirstChannelButton + static_cast<int>(b),
                        ButtonPressed(position_[index], layout_.Reversed[index], rule.Threshold));
  }
  if (!error_.empty()) return;
  // Released while the signal was away: the device comes back with these values.
  error_ = joystick_.Present() ? joystick_.Report() : joystick_.Create(shape_);
}
