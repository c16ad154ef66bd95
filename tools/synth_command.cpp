// MorvantisCapture synth: channel values or a pattern in, a capture (and audio) out.
#include "tools/synth_command.h"

#include <sys/stat.h>
#include <fstream>
#include <iostream>
#include <memory>

#include "encode/audio_render.h"
#include "encode/channel_csv.h"
#include "encode/signal_patterns.h"
#include "encode/synthesizer.h"
#include "files/capture_file.h"
#include "tools/command_support.h"

namespace {

constexpr const char* Command = "synth";

struct SynthOptions {
  std::string input;
  std::string output;
  std::string pattern;
  std::size_t frames = 300;
  std::string startParity = "odd";
  std::string evenBits = "00";
  Impairments impairments;
  std::string wav;
  AudioRenderOptions audio;
};

std::string ReadRows(const std::string& input, std::vector<ChannelRow>& rows) {
  if (input == "-") return ParseChannelCsv(std::cin, "<stdin>", rows);
  struct stat info {};
  if (stat(input.c_str(), &info) != 0) return "cannot open " + input + ": no such file";
  if (!S_ISREG(info.st_mode) && !S_ISFIFO(info.st_mode)) return input + " is not a regular file";
  std::ifstream file(input);
  if (!file) return "cannot open " + input;
  return ParseChannelCsv(file, input, rows);
}

int RunSynth(const SynthOptions& options) {
  std::vector<ChannelRow> rows;
  if (!options.input.empty()) {
    if (!options.pattern.empty()) return Fail(Command, "give an input file or --pattern, not both");
    if (std::string error = ReadRows(options.input, rows); !error.empty())
      return Fail(Command, error);
    if (rows.empty()) return Fail(Command, options.input + " holds no rows of channel values");
  } else {
    auto pattern = SignalPatternNamed(options.pattern.empty() ? "sweep" : options.pattern);
    rows = PatternRows(*pattern, options.frames);
  }

  int startParity = options.startParity == "odd" ? OddFrame : EvenFrame;
  auto evenBits = static_cast<std::uint32_t>(std::stoul(options.evenBits, nullptr, 2));
  SynthesizedCapture capture =
      SynthesizeCapture(FramesFromRows(rows, startParity, evenBits), options.impairments);

  if (std::string error = WriteCaptureFile(options.output, capture.Durations); !error.empty()) {
    return Fail(Command, error);
  }
  if (!options.wav.empty()) {
    AudioRenderOptions audio = options.audio;
    audio.Seed = options.impairments.Seed;
    if (std::string error = RenderAudio(options.wav, capture.Durations, audio); !error.empty()) {
      return Fail(Command, error);
    }
  }
  std::int64_t units = 0;
  for (std::int32_t d : capture.Durations) units += d;
  std::fprintf(stderr, "synth: %zu frames (%zu glitched), %zu runs, %.3f s -> %s\n", rows.size(),
               capture.GlitchedFrames, capture.Durations.size(),
               static_cast<double>(units) / UnitsPerSecond, options.output.c_str());
  if (options.impairments.Jitter > MaxSafeJitter) {
    std::fprintf(stderr, "synth: note: a jitter above %.2f units can change decoded cell counts\n",
                 MaxSafeJitter);
  }
  return ExitOk;
}

}  // namespace

void AddSynthCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<SynthOptions>();
  CLI::App* synth = app.add_subcommand("synth", "Make a capture file from channel values");
  synth->footer(
      "Examples:\n"
      "  MorvantisCapture synth values.csv -o values.cap\n"
      "  MorvantisCapture synth --pattern sweep --frames 600 --jitter 0.5 -o sweep.cap\n"
      "  MorvantisCapture synth values.csv -o values.cap --wav values.wav --rate 48000\n"
      "\n"
      "The CSV has a header row ch1,...,ch8 (any order) and one row per frame of positions\n"
      "0 to 1023. Frames alternate ODD and EVEN; each carries the positions of four channels and\n"
      "for the other four a delta: 8 + clamp(change since the previous frame, -7, +7), so 8 is\n"
      "unchanged, below 8 down, above 8 up. aux is 2,0,2,0 and ecc is written as 0 (its code is\n"
      "not known). Every frame follows an 18-cell sync run; edge times are rounded to whole\n"
      "units so rounding never accumulates.");
  synth->add_option("input", options->input, "CSV file of channel positions, - for standard input");
  synth->add_option("-o,--output", options->output, "Capture file to write")->required();
  synth
      ->add_option("--pattern", options->pattern,
                   "Built-in signal when no input is given (default sweep)")
      ->check(CLI::IsMember({"sweep", "steps", "static"}));
  synth->add_option("--frames", options->frames, "Frames of the built-in signal (default 300)")
      ->check(CLI::Range(std::size_t{1}, std::size_t{10'000'000}));
  synth
      ->add_option("--start-parity", options->startParity,
                   "Parity of the first frame (default odd)")
      ->check(CLI::IsMember({"odd", "even"}));
  synth
      ->add_option("--even-bits", options->evenBits,
                   "The two extra bits of EVEN frames (default 00)")
      ->check(CLI::IsMember({"00", "01", "10", "11"}));
  synth
      ->add_option("--jitter", options->impairments.Jitter,
                   "Random timing error per edge in capture units (default 0; up to 1.15 never "
                   "changes a decoded cell)")
      ->check(CLI::Range(0.0, 100.0));
  synth
      ->add_option("--glitch-rate", options->impairments.GlitchRate,
                   "Fraction of frames that get one fault: an invalid code word or a split run")
      ->check(CLI::Range(0.0, 1.0));
  synth
      ->add_option("--gap-ms", options->impairments.GapMs,
                   "Idle time between frames in ms (default 0)")
      ->check(CLI::Range(0.0, 10000.0));
  synth->add_option("--seed", options->impairments.Seed, "Seed for the impairments (default 1)");
  synth->add_option("--wav", options->wav,
                    "Also render the signal as audio (.wav, .flac, .aiff or .w64 by extension)");
  synth->add_option("--rate", options->audio.Rate, "Sample rate of the audio (default 44100)")
      ->check(CLI::Range(4000, 768000));
  synth
      ->add_option("--channels", options->audio.Channels,
                   "Channels of the audio, each with the signal (default 1)")
      ->check(CLI::Range(1, 8));
  synth
      ->add_option("--amplitude", options->audio.Amplitude,
                   "Peak level of the audio, full scale 1 (default 0.8)")
      ->check(CLI::Range(0.0, 1.0));
  synth
      ->add_option("--sample-format", options->audio.SampleFormat,
                   "pcm16, pcm24 or float (default pcm16)")
      ->check(CLI::IsMember({"pcm16", "pcm24", "float"}));
  synth
      ->add_option("--noise", options->audio.Noise,
                   "Gaussian noise added to the audio, standard deviation (default 0)")
      ->check(CLI::Range(0.0, 1.0));
  synth
      ->add_option("--dc-offset", options->audio.DcOffset,
                   "Constant added to the audio (default 0)")
      ->check(CLI::Range(-1.0, 1.0));
  synth->add_flag("--invert", options->audio.Invert, "Invert the audio's polarity");
  synth
      ->add_option("--ac-coupling-ms", options->audio.AcCouplingMs,
                   "Time constant of a simulated AC-coupled input in ms (default 0: none)")
      ->check(CLI::Range(0.0, 10000.0));
  synth->callback([options, &exitCode] { exitCode = RunSynth(*options); });
}
