// MorvantisCapture joystick: a signal in (a sound card, raw samples, an audio or capture file
// played at its pace, a capture stream); a virtual joystick out, made through /dev/uinput,
// whose axes follow the channels frame by frame and whose failsafe acts when the signal goes.
//
//   source -> (receiver) -> decode session -> joystick feed (failsafe) -> /dev/input/eventN
#include "tools/joystick_command.h"

#include <cstdio>
#include <memory>
#include <string>

#include "files/stop_signal.h"
#include "joystick/joystick_feed.h"
#include "joystick/joystick_options.h"
#include "sources/signal_source.h"
#include "study/playback_clock.h"
#include "tools/command_support.h"
#include "tools/source_options.h"

namespace {

constexpr const char* Command = "joystick";

struct JoystickCommandOptions {
  SourceOptions source;
  double speed = 1;
  JoystickOptions joystick;
  std::string eccFile;  // the groups' check code
};

int RunJoystick(JoystickCommandOptions options) {
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
  if (std::string error = CheckSource(Command, options.source); !error.empty()) {
    return Usage(Command, error);
  }
  if (std::string error = UseEccCode(options.eccFile, options.source); !error.empty()) {
    return Fail(Command, error);
  }
  const bool regularFile = SourceIsFile(options.source);
  // Nothing is written to files: a stop signal simply ends the flight.
  EndInputOnSignal();

  UinputJoystick joystick;
  const PlaybackClock clock(regularFile ? options.speed : 0);
  JoystickFeed feed(joystick, layout, calibration, plan, &clock);
  if (std::string error = feed.Start(); !error.empty()) return Fail(Command, error);
  Note(Command, DescribeFlight(joystick.Node(), layout, plan, calibrationPath));
  std::fflush(stderr);
  SourceReport report;
  std::string error = PlaySource(options.source, feed, report);
  if (error.empty()) error = feed.Error();
  if (!error.empty()) return Fail(Command, error);
  // The end of the input is the end of the signal: the failsafe acts before the device goes.
  feed.Finish(options.source.Session.SignalLostMs);
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
      "  MorvantisCapture joystick --device plughw:1\n"
      "  MorvantisCapture joystick recording.cap\n"
      "  MorvantisCapture joystick - --map 4,3,1,2 --reverse 2 --button 5 --failsafe-low 1\n"
      "\n"
      "Axes X, Y, Z, RX, RY, RZ, THROTTLE, RUDDER follow channels 1 to 8 (--map), 0 to 1023 as\n"
      "decoded, or -1000 to 1000 with a calibration (MorvantisCapture calibrate); button\n"
      "BTN_DEAD is held while the signal is present. The device needs /dev/uinput: if it is\n"
      "missing, 'sudo modprobe uinput'; if it is forbidden, install the udev rule\n"
      "70-morvantis-uinput.rules (make install does; then 'sudo udevadm control --reload &&\n"
      "sudo udevadm trigger') or join the group input ('sudo usermod -aG input $USER').");
  AddSourceOptions(command, options->source);
  AddSpeedOption(command, options->speed);
  AddJoystickOptions(command, options->joystick);
  AddEccCodeOption(command, options->eccFile);
  command->callback([options, &exitCode] { exitCode = RunJoystick(*options); });
}
