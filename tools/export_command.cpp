// MorvantisCapture export: options in, frame records on standard output or a file.
#include "tools/export_command.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "files/file_identity.h"
#include "files/output_file.h"
#include "sources/signal_source.h"
#include "study/frame_export.h"
#include "tools/command_support.h"
#include "tools/source_options.h"

namespace {

constexpr const char* Command = "export";

struct ExportOptions {
  SourceOptions source;
  std::string format = "csv";
  std::string output;
};

int RunExport(const ExportOptions& options) {
  const std::string output = options.output.empty() ? "-" : options.output;
  if (std::string error = CheckSourceOptions(options.source); !error.empty()) {
    return Usage(Command, error);
  }
  std::vector<std::string> inputs;
  if (!options.source.Input.empty()) inputs.push_back(options.source.Input);
  if (std::string error = RefuseCollisions(inputs, {output}); !error.empty())
    return Fail(Command, error);
  OutputFile file;
  if (std::string error = file.Open(output); !error.empty()) return Fail(Command, error);
  FrameExport exporter(file.Stream(), options.format == "csv" ? FrameExport::Format::Csv
                                                              : FrameExport::Format::JsonLines);
  SourceReport report;
  if (std::string error = PlaySource(options.source, exporter, report); !error.empty()) {
    return Fail(Command, error);
  }
  if (!exporter.Flush()) {
    return Fail(Command, "cannot write to " + file.Name() + "; the export is incomplete");
  }
  if (std::string error = file.Commit(); !error.empty()) return Fail(Command, error);
  Note(Command, ReceivedSummary(options.source, report));
  std::fprintf(stderr, "MorvantisCapture export: %llu frames written, %llu lost or cut short\n",
               static_cast<unsigned long long>(exporter.FramesWritten()),
               static_cast<unsigned long long>(exporter.FramesLost()));
  return ExitOk;
}

}  // namespace

void AddExportCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ExportOptions>();
  CLI::App* command = app.add_subcommand("export", "Write decoded frames as CSV or JSON lines");
  command->footer(
      "Examples:\n"
      "  MorvantisCapture export recording.cap > frames.csv\n"
      "  MorvantisCapture export recording.cap --format jsonl -o frames.jsonl\n"
      "  MorvantisCapture export recording.wav > frames.csv\n"
      "  MorvantisCapture export --device plughw:1 --format jsonl | other-program\n"
      "\n"
      "One record per complete frame: end_ms (the frame's end, as Morvantis prints it), type (odd\n"
      "or even), p1..p8 the positions of the four channels the frame carries and d1..d8 the "
      "deltas\n"
      "of the other four (CSV: empty cells elsewhere), the raw aux and ecc of groups 0 to 3, and\n"
      "aux_ok, whether aux was 2,0,2,0, and ch1..ch8 every channel's latest known position (so\n"
      "the CSV feeds straight back into synth). Frames lost or cut short are counted on\n"
      "standard error. When the signal is lost and when it is back, a record says so (JSON:\n"
      "{\"event\":\"signal_lost\",...}; CSV: a # comment line).");
  AddSourceOptions(command, options->source);
  command->add_option("--format", options->format, "csv or jsonl (default csv)")
      ->check(CLI::IsMember({"csv", "jsonl"}));
  command->add_option("-o,--output", options->output,
                      "File to write, - for standard output (the default)");
  command->callback([options, &exitCode] { exitCode = RunExport(*options); });
}
