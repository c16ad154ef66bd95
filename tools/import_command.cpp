// MorvantisCapture import: options in, a capture file and a summary on standard error out.
#include "tools/import_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

#include "files/file_identity.h"
#include "files/output_file.h"
#include "import/importers.h"
#include "tools/command_support.h"

namespace {

constexpr const char* Command = "import";

struct ImportOptions {
  std::string output;
  std::string format = "auto";
  std::optional<double> threshold;
  ImportRequest request;
};

// A progress bar on standard error, only for a person watching a long import.
ProgressReport ProgressBar(const std::string& input) {
  if (!isatty(fileno(stderr))) return {};
  return [input, shown = -1](double fraction) mutable {
    int percent = static_cast<int>(fraction * 100);
    if (percent == shown) return;
    shown = percent;
    std::fprintf(stderr, "\rimport: %s %3d%%", input.c_str(), percent);
    if (percent >= 100) std::fputc('\n', stderr);
  };
}

int RunImport(ImportOptions options) {
  ImportRequest& request = options.request;
  struct stat info {};
  if (stat(request.Input.c_str(), &info) != 0)
    return Fail(Command, "cannot open " + request.Input + ": no such file");
  if (S_ISDIR(info.st_mode)) return Fail(Command, request.Input + " is a directory");

  if (std::string error = RefuseCollisions({request.Input}, {options.output}); !error.empty())
    return Fail(Command, error);
  const Importer* importer = ChooseImporter(options.format, request.Input);
  OutputFile output;
  if (std::string error = output.Open(options.output); !error.empty()) return Fail(Command, error);
  request.Output = output.Stream();
  request.Audio.Slicer.FixedThreshold = options.threshold;
  request.Progress = ProgressBar(request.Input);
  ImportSummary summary;
  if (std::string error = importer->Read(request, summary); !error.empty())
    return Fail(Command, error);
  if (std::string commitError = output.Commit(); !commitError.empty())
    return Fail(Command, commitError);
  std::fputs(ImportSummaryText(request, output.Name(), summary).c_str(), stderr);
  return ExitOk;
}

}  // namespace

void AddImportCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<ImportOptions>();
  CLI::App* command = app.add_subcommand(
      "import", "Make a capture file from an audio recording or a logic-analyzer export");
  command->footer(
      "Examples:\n"
      "  MorvantisCapture import recording.wav -o recording.cap\n"
      "  MorvantisCapture import stereo.flac --channel 2 -o right.cap\n"
      "  MorvantisCapture import trace.vcd --signal top.pcm_in -o trace.cap\n"
      "  MorvantisCapture import levels.csv -o levels.cap\n"
      "\n"
      "Audio (anything libsndfile reads) is sliced at the midpoint of its tracked high and low\n"
      "levels, with hysteresis, so DC offset, inverted polarity, changing amplitude and the droop\n"
      "of AC-coupled inputs do no harm. Edge times are rounded to capture units (1/44153.33 s)\n"
      "and differenced, so rounding never adds up. VCD: the signal's level changes, with the "
      "file's\n"
      "timescale. CSV: rows of time (seconds) and level (0.5 or more is high). The summary on\n"
      "standard error compares the cell length in the data with the nominal 6.623 units.");
  command->add_option("input", options->request.Input, "Recording: audio, .vcd or .csv")
      ->required();
  command
      ->add_option("-o,--output", options->output, "Capture file to write, - for standard output")
      ->required();
  command
      ->add_option("--format", options->format,
                   "auto (by extension), audio, vcd or csv (default auto)")
      ->check(CLI::IsMember([] {
        std::vector<std::string> names = {"auto"};
        for (const Importer& importer : Importers()) names.emplace_back(importer.Name);
        return names;
      }()));
  command
      ->add_option("--channel", options->request.Audio.Channel,
                   "Audio channel to read, from 1 (default 1)")
      ->check(WholeNumberIn(1, 1024));
  command
      ->add_option("--hysteresis", options->request.Audio.Slicer.Hysteresis,
                   "Hysteresis as a fraction of the tracked amplitude (default 0.15)")
      ->check(NumberIn(0.0, 0.9));
  command
      ->add_option("--min-run", options->request.Audio.Slicer.MinRunSamples,
                   "Shortest run in samples; shorter pulses are noise (default 2)")
      ->check(NumberIn(0.0, 1e6));
  command
      ->add_option("--threshold", options->threshold,
                   "Fixed slicing threshold (full scale 1) instead of the tracked midpoint")
      ->check(NumberIn(-1e6, 1e6));
  command
      ->add_option("--scale", options->request.Scale,
                   "Multiply every duration, for a transmitter whose timing is off (default 1)")
      ->check(NumberIn(0.5, 2.0));
  command->add_option("--signal", options->request.Logic.Signal,
                      "VCD signal to read (needed when there are several)");
  command->callback([options, &exitCode] { exitCode = RunImport(*options); });
}
