// MorvantisCapture joystick: a capture (a file played at its pace, or standard input) in; a
// virtual joystick out, made through /dev/uinput, whose axes follow the channels frame by frame
// and whose failsafe acts when the signal goes.
//
//   capture file / -  ->  decode session  ->  joystick feed (failsafe)  ->  /dev/input/eventN
#include "tools/joystick_command.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <string>

#include "files/stop_signal.h"
#include "joystick/joystick_feed.h"
#include "joystick/joystick_options.h"
#include "study/decode_session.h"
#include "study/playback_clock.h"
#include "tools/command_support.h"

namespace {

constexpr const char* Command = "joystick";

struct JoystickCommandOptions {
  std::string source;
  double speed = 1;
  JoystickOptions joystick;
};

int RunJoystick(const JoystickCommandOptions& options) {
  JoystickLayout layout;
  FailsafePlan plan;
  if (std::string error = ReadJoystickOptions(options.joystick, layout, plan); !error.empty()) {
    Fail(Command, error);
    return ExitUsage;
  }
  Calibration calibration;
  std::string calibrationPath;
  if (std::string error = LoadCalibration(options.joystick, calibration, calibrationPath);
      !error.empty()) {
    return Fail(Command, error);
  }
  bool regularFile = false;
  if (options.source != "-") {
    struct stat info {};
    if (stat(options.source.c_str(), &info) != 0)
      return Fail(Command, "cannot open " + options.source + ": no such file");
    if (S_ISDIR(info.st_mode)) return Fail(Command, options.source + " is a directory");
    regularFile = S_ISREG(info.st_mode);
  }
  // Nothing is written to files: a stop signal simply ends the flight.
  EndInputOnSignal();

  UinputJoystick joystick;
  const PlaybackClock clock(regularFile ? options.speed : 0);
  JoystickFeed feed(joystick, layout, calibration, plan, &clock);
  if (std::string error = feed.Start(); !error.empty()) return Fail(Command, error);
  std::fprintf(stderr, "%s: %s \"%s\": %s; failsafe %s after %g ms; %s\n", Command,
               joystick.Node().c_str(), layout.Name.c_str(), DescribeLayout(layout).c_str(),
               FailsafeModeName(plan.Mode), plan.DelayMs,
               calibrationPath.empty() ? "raw positions (no calibration)"
                                       : ("calibrated by " + calibrationPath).c_str());
  std::fflush(stderr);
  std::string error = DecodeCaptureFile(options.source, feed);
  if (error.empty()) error = feed.Error();
  if (!error.empty()) return Fail(Command, error);
  // The end of the input is the end of the signal: the failsafe acts before the device goes.
  feed.Finish();
  if (!feed.Error().empty()) return Fail(Command, feed.Error());
  return ExitOk;
}

}  // namespace

void AddJoystickCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<JoystickCommandOptions>();
  CLI::App* command =
      app.add_subcommand("joystick", "Fly with the transmitter: a virtual Linux joystick");
  command->footer(
      "Examples:\n"
      "  MorvantisCapture joystick recording.cap\n"
      "  MorvantisCapture import --device plughw:1 -o - | MorvantisCapture joystick -\n"
      "  MorvantisCapture joystick - --map 4,3,1,2 --reverse 2 --button 5 --failsafe-low 1\n"
      "\n"
      "Axes X, Y, Z, RX, RY, RZ, THROTTLE, RUDDER follow channels 1 to 8 (--map), 0 to 1023 as\n"
      "decoded, or -1000 to 1000 with a calibration (MorvantisCapture calibrate); button\n"
      "BTN_DEAD is held while the signal is present. The device needs /dev/uinput: if it is\n"
      "missing, 'sudo modprobe uinput'; if it is forbidden, install the udev rule\n"
      "70-morvantis-uinput.rules (make install does; then 'sudo udevadm control --reload &&\n"
      "sudo udevadm trigger') or join the group input ('sudo usermod -aG input $USER').");
  command->add_option("source", options->source, "Capture file, or - for standard input")
      ->required();
  AddSpeedOption(command, options->speed);
  AddJoystickOptions(command, options->joystick);
  command->callback([options, &exitCode] { exitCode = RunJoystick(*options); });
}
