// The joystick's shape and how channel positions become its values. In: a channel's position
// (0 to 1023), whether it is reversed, its calibration if any. Out: the axis value, the axis
// range, whether a switch channel's button is pressed.
//
//   axis   ABS_X ABS_Y ABS_Z ABS_RX ABS_RY ABS_RZ ABS_THROTTLE ABS_RUDDER   button BTN_DEAD
//   from   ch1   ch2   ch3   ch4    ch5    ch6    ch7          ch8          held while the
//          (--map chooses the channel of each axis, or none)                signal is present
//
// Switch channels given with --button are buttons BTN_TRIGGER, BTN_THUMB, ... in that order.
// A raw axis runs 0 to 1023 and carries the position unchanged (reversed: 1023 - position). A
// calibrated axis runs -1000 to 1000: minimum to -1000, centre to 0, maximum to 1000, straight
// lines between; a channel whose centre lies within a tenth of its travel from one end (a
// throttle, which does not spring back) is one straight line from minimum to maximum instead.
#pragma once

#include <linux/input-event-codes.h>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "joystick/calibration.h"

inline constexpr int AxisCount = 8;
inline constexpr std::array<int, AxisCount> AxisCodes = {ABS_X,  ABS_Y,  ABS_Z,        ABS_RX,
                                                         ABS_RY, ABS_RZ, ABS_THROTTLE, ABS_RUDDER};
inline constexpr std::array<const char*, AxisCount> AxisNames = {"X",  "Y",  "Z",        "RX",
                                                                 "RY", "RZ", "THROTTLE", "RUDDER"};
inline constexpr int FirstChannelButton = BTN_TRIGGER;
inline constexpr int SignalButton = BTN_DEAD;
inline constexpr int HighestPosition = 1023;
inline constexpr int CalibratedReach = 1000;  // a calibrated axis runs -1000 to 1000

// A switch channel as a button: pressed while its position (after --reverse) is above the
// threshold.
struct ButtonRule {
  int Channel = 0;
  int Threshold = 512;
};

struct JoystickLayout {
  std::string Name = "Morvantis transmitter";
  std::array<int, AxisCount> AxisChannel = {1, 2, 3, 4, 5, 6, 7, 8};  // 0: the axis is left out
  std::array<bool, 8> Reversed{};                                     // by channel, 1 at [0]
  std::vector<ButtonRule> Buttons;
};

struct AxisRange {
  int Minimum;
  int Maximum;
};

// Raw: 0 to 1023; calibrated: -1000 to 1000.
AxisRange RangeOf(const ChannelCalibration* calibration);

int AxisValue(int position, bool reversed, const ChannelCalibration* calibration);

// The axis value of a channel's calibrated centre (raw: 512, the middle of 0 to 1023) and of
// its minimum (raw: 0), whichever way it is reversed.
int CentreValue(bool reversed, const ChannelCalibration* calibration);
int LowestValue(bool reversed, const ChannelCalibration* calibration);

bool ButtonPressed(int position, bool reversed, int threshold);

// A position in tenths of a percent of its channel's calibrated travel, as a calibrated axis
// carries it (-1000 at the minimum, 0 at the centre, 1000 at the maximum); nothing for a
// channel without a calibration.
std::optional<int> CalibratedTenths(int position, const ChannelCalibration* calibration);
// The same for every channel of `calibration` (which must outlive the function).
std::function<std::optional<int>(int channel, int position)> CalibratedTenthsOf(
    const Calibration& calibration);
