// MorvantisCapture calibrate: a capture (a file, or standard input while the transmitter is
// handled) in; each channel's minimum, centre and maximum out, into the calibration file that
// joystick reads.
#include "tools/calibrate_command.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "files/file_name_check.h"
#include "files/output_file.h"
#include "files/stop_signal.h"
#include "joystick/calibration_recorder.h"
#include "sources/signal_source.h"
#include "tools/command_support.h"
#include "tools/source_options.h"

namespace {

constexpr const char* Command = "calibrate";

struct CalibrateOptions {
  SourceOptions source;
  std::string output;  // empty: the default place
};

// Makes the folders on the way to `path` (as mkdir -p). Returns an error text.
std::string MakeFolders(const std::string& path) {
  for (auto slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
      return "cannot make the folder " + folder + ": " + std::strerror(errno);
    }
  }
  return "";
}

int RunCalibrate(const CalibrateOptions& options) {
  const std::string path = options.output.empty() ? DefaultCalibrationPath() : options.output;
  if (path.empty()) return Fail(Command, "no HOME or XDG_CONFIG_HOME: give -o FILE");
  if (std::string error = RefuseWritingOverInputs(options.source, {}, {path}); !error.empty())
    return Fail(Command, error);
  Note(Command,
       "move every stick and switch through its whole range, then let the sticks go; the "
       "input's end (or Ctrl-C) takes the centres.");
  if (std::string error = CheckSource(Command, options.source); !error.empty()) {
    return Usage(Command, error);
  }
  EndInputOnSignal();
  CalibrationRecorder recorder;
  SourceReport report;
  if (std::string error = PlaySource(options.source, recorder, report); !error.empty()) {
    return Fail(Command, error);
  }
  std::string unmoved;
  const Calibration calibration = recorder.Result(unmoved);
  if (calibration.Empty()) {
    return Fail(Command, "no channel moved in " + std::to_string(recorder.Frames()) +
                             " frames; nothing written");
  }
  if (!unmoved.empty()) {
    Note(Command, "channels " + unmoved + " never moved; they stay raw");
  }
  if (options.output.empty()) {
    if (std::string error = MakeFolders(path); !error.empty()) return Fail(Command, error);
  }
  OutputFile file;
  if (std::string error = file.Open(path); !error.empty()) return Fail(Command, error);
  const std::string text = CalibrationText(calibration);
  std::fwrite(text.data(), 1, text.size(), file.Stream());
  if (std::string error = file.Commit(); !error.empty()) return Fail(Command, error);
  Note(Command, file.Name() + ":\n" + text);
  return ExitOk;
}

}  // namespace

void AddCalibrateCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<CalibrateOptions>();
  CLI::App* command = app.add_subcommand(
      "calibrate", "Record each channel's minimum, centre and maximum for the joystick");
  command->footer(
      "Examples:\n"
      "  MorvantisCapture calibrate --device plughw:1\n"
      "  MorvantisCapture calibrate handled.cap -o my-calibration\n"
      "\n"
      "Move every stick and switch through its whole range, then let the sticks go and end\n"
      "the input (Ctrl-C). The minimum and maximum are the extremes seen, the centre the\n"
      "position at the end. The file: one line per channel, CHANNEL MINIMUM CENTRE MAXIMUM.");
  AddSourceOptions(command, options->source);
  command
      ->add_option("-o,--output", options->output,
                   "Calibration file (default $XDG_CONFIG_HOME/morvantis/calibration, else "
                   "~/.config/morvantis/calibration)")
      ->check(FileName());
  command->callback([options, &exitCode] { exitCode = RunCalibrate(*options); });
}
