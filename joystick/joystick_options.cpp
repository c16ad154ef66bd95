// Option texts in, the joystick's layout, failsafe plan and calibration out.
#include "joystick/joystick_options.h"

#include <cstdio>
#include <cstdlib>

#include "files/file_name_check.h"

namespace {

constexpr std::size_t MostButtons = SignalButton - FirstChannelButton;

bool Channel(const std::string& word, int& channel) {
  if (word.size() != 1 || word[0] < '1' || word[0] > '8') return false;
  channel = word[0] - '0';
  return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> words;
  std::string::size_type from = 0;
  while (true) {
    const auto at = text.find(separator, from);
    words.push_back(text.substr(from, at - from));
    if (at == std::string::npos) return words;
    from = at + 1;
  }
}

// "1,3,5" to a set of channels; empty text is none.
std::string ChannelSet(const std::string& option, const std::string& text,
                       std::array<bool, 8>& set) {
  set = {};
  if (text.empty()) return "";
  for (const std::string& word : Split(text, ',')) {
    int channel = 0;
    if (!Channel(word, channel)) {
      return option + ": \"" + word + "\" is not a channel 1 to 8 (give a list such as 1,3)";
    }
    set[static_cast<std::size_t>(channel - 1)] = true;
  }
  return "";
}

}  // namespace

void AddJoystickOptions(CLI::App* command, JoystickOptions& options) {
  command->add_option("--map", options.Map,
                      "Channels for the axes X,Y,Z,RX,RY,RZ,THROTTLE,RUDDER in that order; - "
                      "leaves an axis out, and so does a shorter list (default 1,2,3,4,5,6,7,8)");
  command->add_option("--reverse", options.Reverse, "Channels to reverse, e.g. 2,4");
  command
      ->add_option("--button", options.Buttons,
                   "A switch channel as a button, CHANNEL[:THRESHOLD]: pressed while its "
                   "position is above THRESHOLD (0 to 1023, default 512); repeat for more")
      ->take_all();
  command->add_option("--name", options.Name,
                      "The joystick's name (default \"" + JoystickLayout{}.Name + "\")");
  command
      ->add_option("--failsafe", options.Failsafe,
                   "When the signal is lost: hold (the last values), centre (the centres; "
                   "--failsafe-low channels at their minimum) or release (the device goes "
                   "away until the signal is back); default centre")
      ->check(CLI::IsMember({"hold", "centre", "release"}));
  command->add_option("--failsafe-ms", options.FailsafeMs,
                      "Milliseconds of lost signal before the failsafe acts, 0 to 60000 "
                      "(default 250)");
  command->add_option("--failsafe-low", options.FailsafeLow,
                      "Channels the centre failsafe puts at their minimum, e.g. the throttle's");
  AddCalibrationOption(command, options.CalibrationPath);
}

void AddCalibrationOption(CLI::App* command, std::string& path) {
  command
      ->add_option("--calibration", path,
                   "Calibration file (default: " +
                       std::string("$XDG_CONFIG_HOME/morvantis/calibration, else "
                                   "~/.config/morvantis/calibration, when present)"))
      ->check(FileName());
}

std::string ReadJoystickOptions(const JoystickOptions& options, JoystickLayout& layout,
                                FailsafePlan& plan) {
  layout = {};
  layout.Name = options.Name;
  if (options.Name.empty() || options.Name.size() > 79) return "--name: give 1 to 79 characters";
  const auto axes = Split(options.Map, ',');
  if (axes.size() > AxisCount) return "--map: at most 8 channels (one per axis)";
  layout.AxisChannel.fill(0);
  for (std::size_t axis = 0; axis < axes.size(); ++axis) {
    if (axes[axis] == "-" || axes[axis] == "0") continue;
    if (!Channel(axes[axis], layout.AxisChannel[axis])) {
      return "--map: \"" + axes[axis] + "\" is not a channel 1 to 8 or - (for axis " +
             AxisNames[axis] + ")";
    }
  }
  if (std::string error = ChannelSet("--reverse", options.Reverse, layout.Reversed);
      !error.empty()) {
    return error;
  }
  if (options.Buttons.size() > MostButtons) {
    return "--button: at most " + std::to_string(MostButtons) + " buttons";
  }
  for (const std::string& text : options.Buttons) {
    const auto parts = Split(text, ':');
    ButtonRule rule;
    if (parts.size() > 2 || !Channel(parts[0], rule.Channel)) {
      return "--button: \"" + text + "\" is not CHANNEL or CHANNEL:THRESHOLD (channel 1 to 8)";
    }
    if (parts.size() == 2) {
      char* end = nullptr;
      const long threshold = std::strtol(parts[1].c_str(), &end, 10);
      if (parts[1].empty() || *end != '\0' || threshold < 0 || threshold > HighestPosition) {
        return "--button: the threshold in \"" + text + "\" must be a number 0 to 1023";
      }
      rule.Threshold = static_cast<int>(threshold);
    }
    layout.Buttons.push_back(rule);
  }
  plan = {};
  if (!ParseFailsafeMode(options.Failsafe, plan.Mode)) {
    return "--failsafe: \"" + options.Failsafe + "\" is not hold, centre or release";
  }
  if (!(options.FailsafeMs >= 0 && options.FailsafeMs <= 60000)) {
    return "--failsafe-ms: give 0 to 60000 milliseconds";
  }
  plan.DelayMs = options.FailsafeMs;
  return ChannelSet("--failsafe-low", options.FailsafeLow, plan.Low);
}

namespace {

std::string ReadCalibrationAt(const std::string& chosenPath, bool needed, Calibration& calibration,
                              std::string& path) {
  path = chosenPath.empty() ? DefaultCalibrationPath() : chosenPath;
  bool found = false;
  std::string error = path.empty() ? "" : ReadCalibrationFile(path, calibration, found);
  if (error.empty() && !found && (needed || !chosenPath.empty())) {
    error = path.empty() ? "no calibration (HOME is not set; give --calibration FILE)"
                         : "no calibration file " + path;
    error += "; make one with 'MorvantisCapture calibrate SOURCE'";
  }
  if (!found) path.clear();
  return error;
}

}  // namespace

std::string LoadCalibration(const JoystickOptions& options, Calibration& calibration,
                            std::string& path) {
  return ReadCalibrationAt(options.CalibrationPath, false, calibration, path);
}

std::string LoadNeededCalibration(const std::string& chosenPath, Calibration& calibration,
                                  std::string& path) {
  return ReadCalibrationAt(chosenPath, true, calibration, path);
}

std::string DescribeFlight(const std::string& node, const JoystickLayout& layout,
                           const FailsafePlan& plan, const std::string& calibrationPath) {
  char failsafe[64];
  std::snprintf(failsafe, sizeof failsafe, "; failsafe %s after %g ms; ",
                FailsafeModeName(plan.Mode), plan.DelayMs);
  return node + " \"" + layout.Name + "\": " + DescribeLayout(layout) + failsafe +
         (calibrationPath.empty() ? "raw positions (no calibration)"
                                  : "calibrated by " + calibrationPath);
}

std::string DescribeLayout(const JoystickLayout& layout) {
  std::string text;
  for (int axis = 0; axis < AxisCount; ++axis) {
    const int channel = layout.AxisChannel[static_cast<std::size_t>(axis)];
    if (channel == 0) continue;
    text += (text.empty() ? "" : " ") + std::string(AxisNames[static_cast<std::size_t>(axis)]) +
            "=ch" + std::to_string(channel);
  }
  std::string reversed;
  for (int channel = 1; channel <= 8; ++channel) {
    if (layout.Reversed[static_cast<std::size_t>(channel - 1)]) {
      reversed += (reversed.empty() ? "" : ",") + std::to_string(channel);
    }
  }
  if (!reversed.empty()) text += "; reversed ch" + reversed;
  for (std::size_t b = 0; b < layout.Buttons.size(); ++b) {
    text += (b == 0 ? "; buttons " : " ") + std::string("ch") +
            std::to_string(layout.Buttons[b].Channel) + ">" +
            std::to_string(layout.Buttons[b].Threshold);
  }
  return text;
}
