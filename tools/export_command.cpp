// MorvantisCapture export: options in, frame records on standard output or a file.
#include "tools/export_command.h"

#include <cstdio>
#include <memory>

#include "files/output_file.h"
#include "study/frame_export.h"
#include "tools/command_support.h"

namespace {

constexpr const char* Command = "export";

struct ExportOptions {
  std::string capture;
  std::string format = "csv";
  std::string output;
};

int RunExport(const ExportOptions& options) {
  AtomicFile file;
  if (!options.output.empty()) {
    if (std::string error = file.Open(options.output); !error.empty()) return Fail(Command, error);
  }
  std::FILE* out = options.output.empty() ? stdout : file.Stream();
  FrameExport exporter(
      out, options.format == "csv" ? FrameExport::Format::Csv : FrameExport::Format::JsonLines);
  if (std::string error = DecodeCaptureFile(options.capture, exporter); !error.empty()) {
    return Fail(Command, error);
  }
  exporter.Flush();
  if (!options.output.empty()) {
    if (std::string error = file.Commit(); !error.empty()) return Fail(Command, error);
  }
  std::fprintf(stderr, "export: %llu frames written, %llu lost or cut short\n",
               static_cast<unsigned long long>(exporter.FramesWritten()),
               static_cast<unsigned long long>(exporter.FramesLost()));
  return FinishStandardOutput(Command, ExitOk);
}

}  // namespace

void AddExportCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ExportOptions>();
  CLI::App* command = app.add_subcommand("export", "Write decoded frames as CSV or JSON lines");
  command->footer(
      "Examples:\n"
      "  MorvantisCapture export recording.cap > frames.csv\n"
      "  MorvantisCapture export recording.cap --format jsonl -o frames.jsonl\n"
      "\n"
      "One record per complete frame: end_ms (the frame's end, as Morvantis prints it), type (odd\n"
      "or even), p1..p8 the positions of the four channels the frame carries and d1..d8 the "
      "deltas\n"
      "of the other four (CSV: empty cells elsewhere), the raw aux and ecc of groups 0 to 3, and\n"
      "aux_ok, whether aux was 2,0,2,0. Frames lost or cut short are counted on standard error.");
  command->add_option("capture", options->capture, "Capture file, - for standard input")
      ->required();
  command->add_option("--format", options->format, "csv or jsonl (default csv)")
      ->check(CLI::IsMember({"csv", "jsonl"}));
  command->add_option("-o,--output", options->output, "File to write (default: standard output)");
  command->callback([options, &exitCode] { exitCode = RunExport(*options); });
}
