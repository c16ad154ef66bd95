// The joystick's options, declared once for every command that makes one. In: the command
// line's texts (--map, --reverse, --button, --name, --failsafe, --failsafe-ms, --failsafe-low,
// --calibration). Out: the joystick's layout, its failsafe plan and its calibration, or an
// error that says which option was wrong and how.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "joystick/calibration.h"
#include "joystick/joystick_feed.h"
#include "joystick/joystick_layout.h"

struct JoystickOptions {
  std::string Map = "1,2,3,4,5,6,7,8";
  std::string Reverse;
  std::vector<std::string> Buttons;
  std::string Name = JoystickLayout{}.Name;
  std::string Failsafe = "centre";
  double FailsafeMs = 250;
  std::string FailsafeLow;
  std::string CalibrationPath;  ///< empty: the default place
};

void AddJoystickOptions(CLI::App* command, JoystickOptions& options);
// --calibration alone, for commands that show calibrated values without a joystick.
void AddCalibrationOption(CLI::App* command, std::string& path);

// Reads the options. Returns an error text (a usage error), empty on success.
std::string ReadJoystickOptions(const JoystickOptions& options, JoystickLayout& layout,
                                FailsafePlan& plan);

// Reads the calibration the options name (the default place when none). Returns an error text
// (an input fault); `path` tells the file read, empty when there was none.
std::string LoadCalibration(const JoystickOptions& options, Calibration& calibration,
                            std::string& path);
// The same for a path given to --calibration (empty: the default place), where a calibration
// is needed (percent units): none found is an error that says how to make one.
std::string LoadNeededCalibration(const std::string& chosenPath, Calibration& calibration,
                                  std::string& path);

// What a flight is, in one line: the device's node and name, the mapping, the failsafe and the
// calibration.
std::string DescribeFlight(const std::string& node, const JoystickLayout& layout,
                           const FailsafePlan& plan, const std::string& calibrationPath);

// The mapping in a few words: "X=ch1 Y=ch2 ... reversed ch2; buttons ch5>512".
std::string DescribeLayout(const JoystickLayout& layout);
