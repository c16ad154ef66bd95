// MorvantisCapture: the companion of the Morvantis decoder. In: a command and its options. Out:
// what the command makes, imports or explains; it never changes what Morvantis prints.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "files/standard_streams.h"
#include "files/stop_signal.h"
#include "tools/analyze_command.h"
#include "tools/calibrate_command.h"
#include "tools/command_support.h"
#include "tools/export_command.h"
#include "tools/import_command.h"
#include "tools/joystick_command.h"
#include "tools/monitor_command.h"
#include "tools/plot_command.h"
#include "tools/synth_command.h"

namespace {

// CLI11's own words for these cases say less than they should.
int UsageError(const std::string& message) {
  std::fprintf(stderr, "MorvantisCapture: %s\nRun 'MorvantisCapture --help' for the commands.\n",
               message.c_str());
  return ExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything is opened: no file may take the number of a closed standard stream.
  OccupyClosedStandardDescriptors();
  // An interrupted command leaves every output as it was, unless it is reading a stream,
  // which a signal simply ends.
  InstallStopHandlers();

  CLI::App app{"MorvantisCapture: make, import and study Morvantis capture files",
               "MorvantisCapture"};
  app.require_subcommand(0, 1);
  app.set_version_flag("--version", "MorvantisCapture " MORVANTIS_VERSION);
  app.footer("Run 'MorvantisCapture COMMAND --help' for the options of a command.");
  int exitCode = ExitOk;
  AddSynthCommand(app, exitCode);
  AddImportCommand(app, exitCode);
  AddAnalyzeCommand(app, exitCode);
  AddExportCommand(app, exitCode);
  AddPlotCommand(app, exitCode);
  AddMonitorCommand(app, exitCode);
  AddJoystickCommand(app, exitCode);
  AddCalibrateCommand(app, exitCode);

  if (argc > 1 && argv[1][0] != '-') {
    bool known = false;
    std::string names;
    for (const CLI::App* command : app.get_subcommands({})) {
      known = known || command->get_name() == argv[1];
      names += (names.empty() ? "" : ", ") + command->get_name();
    }
    if (!known) {
      return UsageError("unknown command \"" + std::string(argv[1]) + "\" (the commands are " +
                        names + ")");
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForVersion& version) {
    return app.exit(version);
  } catch (const CLI::ParseError& error) {
    // In the command's own words, like every other message of it.
    const std::vector<CLI::App*> parsed = app.get_subcommands();
    if (parsed.empty()) return UsageError(error.what());
    const std::string command = parsed.front()->get_name();
    Note(command, std::string(error.what()) + "\nRun 'MorvantisCapture " + command +
                      " --help' for its options.");
    return ExitUsage;
  }
  if (app.get_subcommands().empty()) return UsageError("no command given");
  return exitCode;
}
