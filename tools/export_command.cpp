// MorvantisCapture export: options in, frame records on standard output or a file.
#include "tools/export_command.h"

#include <cstdio>
#include <memory>

#include "files/file_identity.h"
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
  const std::string output = options.output.empty() ? "-" : options.output;
  if (std::string error = RefuseCollisions({options.capture}, {output}); !error.empty())
    return Fail(Command, error);
  OutputFile file;
  if (std::string error = file.Open(output); !error.empty()) return Fail(Command, error);
  FrameExport exporter(file.Stream(), options.format == "csv" ? FrameExport::Format::Csv
                                                              : FrameExport::Format::JsonLines);
  if (std::string error = DecodeCaptureFile(options.capture, exporter); !error.empty()) {
    return Fail(Command, error);
  }
  if (!exporter.Flush()) {
    return Fail(Command, "cannot write to " + file.Name() + "; the export is incomplete");
  }
  if (std::string error = file.Commit(); !error.empty()) return Fail(Command, error);
  std::fprintf(stderr, "export: %llu frames written, %llu lost or cut short\n",
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
      "\n"
      "One record per complete frame: end_ms (the frame's end, as Morvantis prints it), type (odd\n"
      "or even), p1..p8 the positions of the four channels the frame carries and d1..d8 the "
      "deltas\n"
      "of the other four (CSV: empty cells elsewhere), the raw aux and ecc of groups 0 to 3, and\n"
      "aux_ok, whether aux was 2,0,2,0, and ch1..ch8 every channel's latest known position (so\n"
      "the CSV feeds straight back into synth). Frames lost or cut short are counted on\n"
      "standard error.");
  command->add_option("capture", options->capture, "Capture file, - for standard input")
      ->required();
  command->add_option("--format", options->format, "csv or jsonl (default csv)")
      ->check(CLI::IsMember({"csv", "jsonl"}));
  command->add_option("-o,--output", options->output,
                      "File to write, - for standard output (the default)");
  command->callback([options, &exitCode] { exitCode = RunExport(*options); });
}
