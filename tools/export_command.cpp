// MorvantisCapture export: options in, frame records on standard output or a file.
#include "tools/export_command.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ecc/affine_code.h"
#include "files/file_name_check.h"
#include "files/output_file.h"
#include "joystick/joystick_options.h"
#include "sources/signal_source.h"
#include "study/frame_export.h"
#include "tools/command_support.h"
#include "tools/source_options.h"

namespace {

constexpr const char* Command = "export";

// The frames not trusted, by why, when there were any: "" otherwise.
std::string DoubtfulSummary(const FrameTally& tally, bool kept) {
  const std::uint64_t doubtful = tally.Doubtful + tally.AuxMismatches + tally.EccMismatches;
  if (doubtful == 0) return {};
  char line[256];
  std::snprintf(line, sizeof line,
                "MorvantisCapture export: %llu doubtful frames %s: %llu from weak cells, %llu "
                "with aux not as expected, %llu with groups failing the ecc code (%llu groups)\n",
                static_cast<unsigned long long>(doubtful), kept ? "kept" : "left out",
                static_cast<unsigned long long>(tally.Doubtful),
                static_cast<unsigned long long>(tally.AuxMismatches),
                static_cast<unsigned long long>(tally.EccMismatches),
                static_cast<unsigned long long>(tally.EccMismatchedGroups));
  return line;
}

struct ExportOptions {
  SourceOptions source;
  std::string format = "csv";
  std::string output;
  std::string units = "raw";
  std::string calibration;
  bool allFrames = false;  // doubtful frames too, every record with its grade
  std::string eccFile;     // the groups' check code
};

int RunExport(const ExportOptions& options) {
  const std::string output = options.output.empty() ? "-" : options.output;
  if (std::string error = CheckSource(Command, options.source); !error.empty()) {
    return Usage(Command, error);
  }
  Calibration calibration;
  PercentTenths percent;
  std::string calibrationPath;
  if (options.units == "percent") {
    if (std::string error =
            LoadNeededCalibration(options.calibration, calibration, calibrationPath);
        !error.empty()) {
      return Fail(Command, error);
    }
    percent = CalibratedTenthsOf(calibration);
  }
  if (std::string error =
          RefuseWritingOverInputs(options.source, {options.eccFile, calibrationPath}, {output});
      !error.empty())
    return Fail(Command, error);
  SourceOptions source = options.source;
  if (std::string error = UseEccCode(options.eccFile, source); !error.empty()) {
    return Fail(Command, error);
  }
  OutputFile file;
  if (std::string error = file.Open(output); !error.empty()) return Fail(Command, error);
  FrameExport exporter(
      file.Stream(),
      options.format == "csv" ? FrameExport::Format::Csv : FrameExport::Format::JsonLines,
      options.allFrames, percent);
  SourceReport report;
  if (std::string error = PlaySource(source, exporter, report); !error.empty()) {
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
  std::fputs(DoubtfulSummary(exporter.Tally, options.allFrames).c_str(), stderr);
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
      "the CSV feeds straight back into synth); with --units percent, pct1..pct8 the same\n"
      "positions as -100 to 100 of each channel's calibrated travel (empty for a channel the\n"
      "calibration leaves out). Frames lost or cut short are counted on\n"
      "standard error. When the signal is lost and when it is back, a record says so (JSON:\n"
      "{\"event\":\"signal_lost\",...}; CSV: a # comment line).\n"
      "\n"
      "Only trusted frames are written. A frame is doubtful, and counted instead, when a cell of\n"
      "it was decided too close to the middle between the levels (audio only: margin under\n"
      "0.05 of the amplitude; with --ecc the code judges the cells instead), when its aux\n"
      "breaks the pattern (2,0,2,0, or another that the recording's good frames keep), or with\n"
      "--ecc when a group fails the code. --all-frames writes doubtful frames too, and ends\n"
      "every record with margin, grade (trusted or doubtful) and why (weak_cells, aux or ecc).");
  AddSourceOptions(command, options->source);
  command->add_option("--format", options->format, "csv or jsonl (default csv)")
      ->check(CLI::IsMember({"csv", "jsonl"}));
  command
      ->add_option("-o,--output", options->output,
                   "File to write, - for standard output (the default)")
      ->check(FileName());
  AddUnitsOption(command, options->units);
  AddCalibrationOption(command, options->calibration);
  command->add_flag("--all-frames", options->allFrames,
                    "Doubtful frames too, each record ending with its grade (margin, grade, why)");
  AddEccCodeOption(command, options->eccFile);
  command->callback([options, &exitCode] { exitCode = RunExport(*options); });
}
