// Calibration file text in, the per-channel table out, and back.
#include "joystick/calibration.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

constexpr int HighestPosition = 1023;
constexpr std::size_t LongestFile = 64 * 1024;  // a calibration is a few lines

bool WholeNumber(const std::string& word, int lowest, int highest, int& value) {
  if (word.empty() || word.size() > 6) return false;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
  }
  value = std::atoi(word.c_str());
  return value >= lowest && value <= highest;
}

}  // namespace

bool Calibration::Empty() const {
  for (const auto& channel : Channels) {
    if (channel) return false;
  }
  return true;
}

std::string DefaultCalibrationPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/morvantis/calibration";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/')
    return std::string(home) + "/.config/morvantis/calibration";
  return "";
}

std::string ParseCalibration(const std::string& text, Calibration& calibration) {
  calibration = {};
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string word[5];
    int count = 0;
    while (count < 5 && words >> word[count]) ++count;
    if (count == 0) continue;
    const std::string where = "line " + std::to_string(number) + ": ";
    if (count != 4) return where + "expected CHANNEL MINIMUM CENTRE MAXIMUM";
    int channel = 0;
    ChannelCalibration c;
    if (!WholeNumber(word[0], 1, 8, channel)) return where + "the channel must be 1 to 8";
    if (!WholeNumber(word[1], 0, HighestPosition, c.Minimum) ||
        !WholeNumber(word[2], 0, HighestPosition, c.Centre) ||
        !WholeNumber(word[3], 0, HighestPosition, c.Maximum)) {
      return where + "positions must be 0 to 1023";
    }
    if (c.Minimum > c.Centre || c.Centre > c.Maximum || c.Minimum == c.Maximum) {
      return where + "needs minimum <= centre <= maximum and minimum < maximum";
    }
    auto& slot = calibration.Channels[static_cast<std::size_t>(channel - 1)];
    if (slot) return where + "channel " + word[0] + " is given twice";
    slot = c;
  }
  return "";
}

std::string ReadCalibrationFile(const std::string& path, Calibration& calibration, bool& found) {
  calibration = {};
  found = false;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    if (errno == ENOENT) return "";
    return "cannot read " + path + ": " + std::strerror(errno);
  }
  std::string text(LongestFile + 1, '\0');
  text.resize(std::fread(text.data(), 1, text.size(), file));
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return "cannot read " + path + " (is it a folder?)";
  if (text.size() > LongestFile) return path + ": too long for a calibration file";
  found = true;
  const std::string error = ParseCalibration(text, calibration);
  return error.empty() ? "" : path + ": " + error;
}

std::string CalibrationText(const Calibration& calibration) {
  std::string text =
      "# Morvantis transmitter calibration: positions 0 to 1023, sticks let go at the centre\n"
      "# channel minimum centre maximum\n";
  for (std::size_t i = 0; i < calibration.Channels.size(); ++i) {
    const auto& c = calibration.Channels[i];
    if (!c) continue;
    text += std::to_string(i + 1) + " " + std::to_string(c->Minimum) + " " +
            std::to_string(c->Centre) + " " + std::to_string(c->Maximum) + "\n";
  }
  return text;
}
