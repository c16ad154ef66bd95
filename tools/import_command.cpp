#include "tools/import_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

#include "capture/atomic_file.h"
#include "capture/audio_import.h"
#include "capture/capture_timing.h"
#include "capture/logic_import.h"
#include "tools/command_support.h"

namespace {

constexpr const char* Command = "import";

struct ImportOptions {
  std::string input;
  std::string output;
  std::string format = "auto";
  AudioImportOptions audio;
  std::optional<double> threshold;
  LogicImportOptions logic;
};

std::string FormatOf(const ImportOptions& options) {
  if (options.format != "auto") return options.format;
  std::string lower = options.input;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  auto endsWith = [&](const char* ending) {
    std::string e = ending;
    return lower.size() >= e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0;
  };
  if (endsWith(".vcd")) return "vcd";
  if (endsWith(".csv")) return "csv";
  return "audio";
}

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

void PrintSummary(const ImportOptions& options, const ImportSummary& summary) {
  std::fprintf(stderr, "import: %s: %s", options.input.c_str(), summary.Format.c_str());
  if (summary.Rate > 0) {
    std::fprintf(stderr, ", %.0f Hz, %d channel%s", summary.Rate, summary.Channels,
                 summary.Channels == 1 ? "" : "s");
  }
  std::fprintf(stderr, ", %.3f s\n", summary.Seconds);
  if (summary.Rate > 0) {
    std::fprintf(stderr, "import: levels high %.3f, low %.3f\n", summary.HighLevel,
                 summary.LowLevel);
  }
  std::fprintf(stderr, "import: %llu runs -> %s\n", static_cast<unsigned long long>(summary.Runs),
               options.output.c_str());
  if (summary.Fit.HasData()) {
    std::fprintf(stderr, "import: cell length %.3f units (nominal %.3f, %+.2f%%)\n",
                 summary.Fit.MeasuredUnitsPerCell(), UnitsPerCell, summary.Fit.PercentOffNominal());
    if (std::abs(summary.Fit.PercentOffNominal()) > 1) {
      std::fprintf(stderr, "import: the timing is off; import again with --scale %.4f\n",
                   options.audio.Scale * summary.Fit.ScaleToNominal());
    }
  }
  if (summary.RunsClamped > 0) {
    std::fprintf(
        stderr,
        "import: %llu idle stretches were longer than a capture run holds and were shortened\n",
        static_cast<unsigned long long>(summary.RunsClamped));
  }
}

int RunImport(ImportOptions options) {
  struct stat info {};
  if (stat(options.input.c_str(), &info) != 0)
    return Fail(Command, "cannot open " + options.input + ": no such file");
  if (S_ISDIR(info.st_mode)) return Fail(Command, options.input + " is a directory");

  AtomicFile output;
  if (std::string error = output.Open(options.output); !error.empty()) return Fail(Command, error);
  ImportSummary summary;
  std::string format = FormatOf(options);
  std::string error;
  if (format == "audio") {
    options.audio.Slicer.FixedThreshold = options.threshold;
    error = ImportAudio(options.input, options.audio, output.Stream(), summary,
                        ProgressBar(options.input));
  } else {
    std::ifstream in(options.input, std::ios::binary);
    if (!in) return Fail(Command, "cannot open " + options.input);
    options.logic.Scale = options.audio.Scale;
    error = format == "vcd"
                ? ImportVcd(in, options.input, options.logic, output.Stream(), summary)
                : ImportLevelCsv(in, options.input, options.logic, output.Stream(), summary);
  }
  if (!error.empty()) return Fail(Command, error);
  if (std::string commitError = output.Commit(); !commitError.empty())
    return Fail(Command, commitError);
  PrintSummary(options, summary);
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
  command->add_option("input", options->input, "Recording: audio, .vcd or .csv")->required();
  command->add_option("-o,--output", options->output, "Capture file to write")->required();
  command
      ->add_option("--format", options->format,
                   "auto (by extension), audio, vcd or csv (default auto)")
      ->check(CLI::IsMember({"auto", "audio", "vcd", "csv"}));
  command
      ->add_option("--channel", options->audio.Channel, "Audio channel to read, from 1 (default 1)")
      ->check(CLI::PositiveNumber);
  command
      ->add_option("--hysteresis", options->audio.Slicer.Hysteresis,
                   "Hysteresis as a fraction of the tracked amplitude (default 0.15)")
      ->check(CLI::Range(0.0, 0.9));
  command
      ->add_option("--min-run", options->audio.Slicer.MinRunSamples,
                   "Shortest run in samples; shorter pulses are noise (default 2)")
      ->check(CLI::Range(0.0, 1e6));
  command->add_option("--threshold", options->threshold,
                      "Fixed slicing threshold (full scale 1) instead of the tracked midpoint");
  command
      ->add_option("--scale", options->audio.Scale,
                   "Multiply every duration, for a transmitter whose timing is off (default 1)")
      ->check(CLI::Range(0.5, 2.0));
  command->add_option("--signal", options->logic.Signal,
                      "VCD signal to read (needed when there are several)");
  command->callback([options, &exitCode] { exitCode = RunImport(*options); });
}
