// A transmitter's calibration: each channel's minimum, centre and maximum position, kept in a
// small text file. In: the file's text (or positions seen while calibrating). Out: the table the
// joystick uses to span its axes, and the file's text again.
//
// The file: '#' starts a comment, blank lines are skipped, and each other line is
//
//   CHANNEL MINIMUM CENTRE MAXIMUM        e.g.   3 98 511 925
//
// with the channel 1 to 8 (each at most once) and positions 0 to 1023, minimum <= centre <=
// maximum and minimum < maximum. Channels the file leaves out pass through raw.
#pragma once

#include <array>
#include <optional>
#include <string>

struct ChannelCalibration {
  int Minimum = 0;
  int Centre = 0;
  int Maximum = 0;
};

struct Calibration {
  std::array<std::optional<ChannelCalibration>, 8> Channels;  // channel 1 at [0]
  bool Empty() const;
};

// Where the calibration lives: $XDG_CONFIG_HOME/morvantis/calibration, or
// ~/.config/morvantis/calibration when XDG_CONFIG_HOME is unset or not absolute. Empty when
// neither that nor HOME gives a folder.
std::string DefaultCalibrationPath();

// Reads the text of a calibration file. Returns an error text naming the line, empty on
// success.
std::string ParseCalibration(const std::string& text, Calibration& calibration);

// Reads the file at `path`. A missing file is no error: `calibration` stays empty and `found`
// false.
std::string ReadCalibrationFile(const std::string& path, Calibration& calibration, bool& found);

// The file's text for `calibration`, with a comment saying what the columns are.
std::string CalibrationText(const Calibration& calibration);
