// MorvantisCapture: the companion of the Morvantis decoder. It makes, imports and studies
// capture files; it never changes what Morvantis prints.
#include <csignal>
#include <cstdio>

#include <CLI/CLI.hpp>

#include "files/output_file.h"
#include "tools/analyze_command.h"
#include "tools/command_support.h"
#include "tools/export_command.h"
#include "tools/import_command.h"
#include "tools/plot_command.h"
#include "tools/synth_command.h"

namespace {

// An interrupted tool leaves no half-written file behind.
extern "C" void RemoveTemporariesAndDie(int signalNumber) {
  RemoveOpenTemporaryFiles();
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, RemoveTemporariesAndDie);
  std::signal(SIGTERM, RemoveTemporariesAndDie);
  std::signal(SIGHUP, RemoveTemporariesAndDie);

  CLI::App app{"MorvantisCapture: make, import and study Morvantis capture files",
               "MorvantisCapture"};
  app.require_subcommand(1);
  app.footer("Run 'MorvantisCapture COMMAND --help' for the options of a command.");
  int exitCode = ExitOk;
  AddSynthCommand(app, exitCode);
  AddImportCommand(app, exitCode);
  AddAnalyzeCommand(app, exitCode);
  AddExportCommand(app, exitCode);
  AddPlotCommand(app, exitCode);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& help) {
    return app.exit(help);
  } catch (const CLI::CallForAllHelp& help) {
    return app.exit(help);
  } catch (const CLI::ParseError& error) {
    app.exit(error);
    return ExitUsage;
  }
  return exitCode;
}
