// Frames to joystick events. In: the decode session's frames and lost frames (and its
// signal-lost and signal-back announcements), with the time as a capture file plays at its
// pace. Out: the virtual joystick's axes and buttons, one report per frame, sent as soon as the
// frame is decoded; the failsafe's steps when the signal goes and comes back.
#pragma once

#include <array>
#include <string>

#include "joystick/calibration.h"
#include "joystick/failsafe.h"
#include "joystick/joystick_layout.h"
#include "joystick/uinput_joystick.h"
#include "study/decode_session.h"
#include "study/playback_clock.h"

struct FailsafePlan {
  FailsafeMode Mode = FailsafeMode::Centre;
  double DelayMs = 250;
  std::array<bool, 8> Low{};  ///< channels sent to their minimum (by channel, 1 at [0])
};

class JoystickFeed : public DecodeObserver {
 public:
  // `clock` paces a capture file (nullptr: a stream, decoded as it arrives).
  JoystickFeed(UinputJoystick& joystick, const JoystickLayout& layout,
               const Calibration& calibration, const FailsafePlan& plan,
               const PlaybackClock* clock);

  // Makes the device. Returns an error text.
  std::string Start();

  void OnSync(double ms) override;
  void OnFrame(const DecodedFrame& frame) override;
  void OnLostFrame(double ms, FrameLoss why) override;
  // The session's announcement, in signal time (a frame brings the signal back).
  void OnSignalLost(double ms, SignalLoss why) override;
  // A live input waits: the failsafe steps with the time that passes, frames or not.
  void OnIdle() override;
  bool WantsMore() override;
  // Signal time has come to `ms` while the reader beside this one waits for a file's pace: the
  // failsafe steps.
  void TimeReached(double ms) { Look(ms); }

  // The input's end, which is the signal's: lost `signalLostMs` after the last frame, and the
  // failsafe acts (at the pace of time) before the device goes.
  void Finish(double signalLostMs);

  const std::string& Error() const { return error_; }
  const Failsafe& FailsafeState() const { return failsafe_; }

 private:
  const ChannelCalibration* CalibrationOf(int channel) const;
  int FailsafeValue(int channel) const;
  void Pace(double ms);
  void Look(double now);
  void Step(FailsafeStep step);
  void Send();

  UinputJoystick& joystick_;
  JoystickLayout layout_;
  Calibration calibration_;
  FailsafePlan plan_;
  const PlaybackClock* clock_;
  Failsafe failsafe_;
  JoystickShape shape_;
  std::array<int, 8> position_{};  ///< each channel's latest position; -1 before the first
  double lastFrameMs_ = 0;
  double lostMs_ = 0;           ///< when the signal was lost (signal time)
  PlaybackClock sinceLost_{1};  ///< wall time since then, for a stalled input
  std::string error_;
};
