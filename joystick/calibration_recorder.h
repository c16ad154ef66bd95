// Calibrating: the positions a transmitter shows while its sticks and switches are moved
// through their range and then let go. In: the decode session's frames. Out: each channel's
// minimum and maximum seen, and its centre, the position it rests at when the input ends.
#pragma once

#include <array>
#include <string>

#include "joystick/calibration.h"
#include "study/decode_session.h"

class CalibrationRecorder : public DecodeObserver {
 public:
  CalibrationRecorder();
  void OnFrame(const DecodedFrame& frame) override;
  bool WantsMore() override;

  // The channels that moved; `unmoved` lists those that never did ("3,7"), which are left
  // out.
  Calibration Result(std::string& unmoved) const;
  std::uint64_t Frames() const { return frames_; }

 private:
  std::array<ChannelCalibration, 8> seen_{};
  std::array<bool, 8> any_{};
  std::uint64_t frames_ = 0;
};
