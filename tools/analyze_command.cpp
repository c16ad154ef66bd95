// MorvantisCapture analyze: options in, the diagnosis on standard output.
#include "tools/analyze_command.h"

#include <cstdio>
#include <memory>

#include "sources/signal_source.h"
#include "study/capture_analysis.h"
#include "tools/command_support.h"
#include "tools/source_options.h"

namespace {

constexpr const char* Command = "analyze";

struct AnalyzeOptions {
  SourceOptions source;
  bool json = false;
};

int RunAnalyze(const AnalyzeOptions& options) {
  CaptureAnalysis analysis;
  if (std::string error = CheckSourceOptions(options.source); !error.empty()) {
    return Usage(Command, error);
  }
  SourceReport source;
  if (std::string error = PlaySource(options.source, analysis, source); !error.empty()) {
    return Fail(Command, error);
  }
  std::string report = options.json ? analysis.Json(SourceName(options.source)) : analysis.Text();
  std::fputs(report.c_str(), stdout);
  return FinishStandardOutput(Command, ExitOk);
}

}  // namespace

void AddAnalyzeCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<AnalyzeOptions>();
  CLI::App* command = app.add_subcommand(
      "analyze", "Diagnose a capture: run lengths, timing, decoding counts, verdict");
  command->footer(
      "Examples:\n"
      "  MorvantisCapture analyze recording.cap\n"
      "  MorvantisCapture analyze recording.cap --json\n"
      "\n"
      "Prints a histogram of run lengths in cells, how far durations fall from whole cells, the\n"
      "cell length measured from the data (a least-squares fit) against the nominal 6.623 units\n"
      "with the --scale to import with when it is more than 1 percent off, the decoder's counts\n"
      "(syncs, frames complete and cut short, invalid code words, unknown frame types, aux\n"
      "mismatches, frame rate) and a closing verdict.");
  AddSourceOptions(command, options->source);
  command->add_flag("--json", options->json, "Print one JSON object instead of text");
  command->callback([options, &exitCode] { exitCode = RunAnalyze(*options); });
}
