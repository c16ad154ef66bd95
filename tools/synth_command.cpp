// MorvantisCapture synth: channel values or a pattern in, a capture (and audio) out.
#include "tools/synth_command.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>

#include "encode/audio_render.h"
#include "encode/channel_csv.h"
#include "encode/frame_ecc.h"
#include "encode/signal_patterns.h"
#include "encode/synthesizer.h"
#include "files/capture_file.h"
#include "files/file_identity.h"
#include "files/file_name_check.h"
#include "files/output_file.h"
#include "files/stop_signal.h"
#include "import/sample_import.h"
#include "study/counted_noun.h"
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
  std::string eccFile;     // the code to write ecc fields with
  long long eccSeed = -1;  // or a code drawn from this seed
};

// Where the rows come from: a CSV file or stream, or a built-in pattern.
class RowSource {
 public:
  std::string Open(const SynthOptions& options) {
    if (options.input.empty()) {
      pattern_ = *SignalPatternNamed(options.pattern.empty() ? "sweep" : options.pattern);
      patternFrames_ = options.frames;
      return {};
    }
    std::istream* in = &std::cin;
    std::string name = "<stdin>";
    bool stream = true;
    if (options.input != "-") {
      struct stat info {};
      if (stat(options.input.c_str(), &info) != 0)
        return "cannot open " + options.input + ": " + std::strerror(errno);
      if (S_ISDIR(info.st_mode)) return options.input + " is a directory";
      stream = !S_ISREG(info.st_mode);
      file_.open(options.input, std::ios::binary);
      if (!file_) return "cannot open " + options.input + ": " + std::strerror(errno);
      in = &file_;
      name = options.input;
    }
    // Rows typed or piped in end when the user says so.
    if (stream) EndInputOnSignal();
    csv_.emplace(*in, name);
    return {};
  }

  // The next row, and the frame it records when it comes from a frame export.
  bool Next(ChannelRow& row, std::optional<FrameFields>& exported) {
    exported.reset();
    if (!csv_) {
      if (next_ == patternFrames_) return false;
      row = PatternRow(pattern_, next_++);
      return true;
    }
    if (StopRequested()) return false;
    bool got = csv_->Next(row, &exported);
    if (!warned_ && !csv_->Warning().empty()) {
      std::fprintf(stderr, "MorvantisCapture %s: %s\n", Command, csv_->Warning().c_str());
      warned_ = true;
    }
    return got && !StopRequested();
  }

  // Why the rows stopped early, if they did.
  std::string Error() const { return csv_ && !StopRequested() ? csv_->Error() : ""; }

 private:
  std::ifstream file_;
  std::optional<ChannelCsvReader> csv_;
  SignalPattern pattern_ = SignalPattern::Sweep;
  std::size_t patternFrames_ = 0, next_ = 0;
  bool warned_ = false;
};

int RunSynth(const SynthOptions& options) {
  if (!options.input.empty() && !options.pattern.empty())
    return Usage(Command, "give an input file or --pattern, not both");
  std::vector<std::string> outputs = {options.output};
  if (!options.wav.empty()) {
    if (std::string error = CheckAudioOutput(options.wav, options.audio); !error.empty())
      return Fail(Command, error);
    outputs.push_back(options.wav);
  }
  std::vector<std::string> inputs;
  if (!options.input.empty()) inputs.push_back(options.input);
  std::optional<EccCode> eccCode;
  if (!options.eccFile.empty()) {
    if (options.eccSeed >= 0) return Usage(Command, "give --ecc or --ecc-seed, not both");
    if (std::string error = LoadEccCode(options.eccFile, eccCode.emplace()); !error.empty())
      return Fail(Command, error);
    inputs.push_back(options.eccFile);
  } else if (options.eccSeed >= 0) {
    eccCode = RandomEccCode(static_cast<std::uint64_t>(options.eccSeed));
  }
  if (std::string error = RefuseCollisions(inputs, outputs); !error.empty())
    return Fail(Command, error);

  RowSource rows;
  if (std::string error = rows.Open(options); !error.empty()) return Fail(Command, error);
  OutputFile capture;
  if (std::string error = capture.Open(options.output); !error.empty()) return Fail(Command, error);
  AudioRenderer audio;
  if (!options.wav.empty()) {
    AudioRenderOptions audioOptions = options.audio;
    audioOptions.Seed = options.impairments.Seed;
    if (std::string error = audio.Open(options.wav, audioOptions); !error.empty())
      return Fail(Command, error);
  }

  // Row by row: frame, runs, records and samples, so memory stays that of one frame.
  FrameMaker frames(options.startParity == "odd" ? OddFrame : EvenFrame,
                    static_cast<std::uint32_t>(std::stoul(options.evenBits, nullptr, 2)));
  CaptureSynthesizer synthesizer(options.impairments);
  RunDurations durations;
  std::size_t rowCount = 0, runCount = 0;
  std::int64_t units = 0;
  bool written = true;
  ChannelRow row;
  std::optional<FrameFields> exported;
  while (written && rows.Next(row, exported)) {
    durations.clear();
    // An exported frame is made again as it was decoded; the maker still learns the row.
    FrameFields frame = frames.Next(row);
    if (exported) frame = {exported->Parity, frame.EvenBits, exported->Groups};
    if (eccCode) WriteEcc(*eccCode, frame);
    synthesizer.AddFrame(frame, durations);
    written = WriteCaptureRecords(capture.Stream(), durations.data(), durations.size());
    if (!options.wav.empty()) written = audio.Add(durations.data(), durations.size()) && written;
    for (std::int32_t d : durations) units += d;
    runCount += durations.size();
    ++rowCount;
  }
  if (std::string error = rows.Error(); !error.empty()) return Fail(Command, error);
  if (rowCount == 0) return Fail(Command, options.input + " holds no rows of channel values");
  if (!options.wav.empty()) {
    if (std::string error = audio.Finish(); !error.empty()) return Fail(Command, error);
  }
  // Everything is written; only now do the outputs take their places.
  if (std::string error = capture.Commit(); !error.empty()) return Fail(Command, error);
  if (!options.wav.empty()) {
    if (std::string error = audio.Commit(); !error.empty()) return Fail(Command, error);
  }
  std::fprintf(stderr, "MorvantisCapture synth: %s (%zu glitched), %s, %.3f s -> %s\n",
               Counted(rowCount, "frame").c_str(), synthesizer.GlitchedFrames(),
               Counted(runCount, "run").c_str(), static_cast<double>(units) / UnitsPerSecond,
               capture.Name().c_str());
  if (options.impairments.Jitter > MaxSafeJitter) {
    std::fprintf(stderr,
                 "MorvantisCapture synth: note: a jitter above %.2f units can change decoded "
                 "cell counts\n",
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
      "The CSV has a header row naming ch1 to ch8 (any order, any case; other columns are\n"
      "ignored) and one row per frame of positions 0 to 1023; an empty value keeps the channel's\n"
      "previous position. A CSV that export wrote is made again frame by frame: each row's\n"
      "type, p1..p8, d1..d8, aux0..aux3 and ecc0..ecc3 as they were decoded. Frames alternate\n"
      "ODD and EVEN; each carries the positions of four channels and for the other four a\n"
      "delta: 8 + clamp(change since the previous frame, -7, +7), so 8 is unchanged, below 8\n"
      "down, above 8 up. aux is 2,0,2,0; ecc is written as 0 (the code of real transmitters is\n"
      "not known), or by the affine code in --ecc FILE (as analyze --save-ecc writes it) or by\n"
      "one drawn from --ecc-seed N: transmitters whose code is known, for tests. Every\n"
      "frame follows an 18-cell sync run; edge times are rounded to whole units so rounding\n"
      "never accumulates. Rows stream: any number of frames works in fixed memory. The capture\n"
      "and the audio are put in place together, only once both are completely written.");
  synth->add_option("input", options->input, "CSV file of channel positions, - for standard input")
      ->check(FileName());
  synth->add_option("-o,--output", options->output, "Capture file to write, - for standard output")
      ->check(FileName())
      ->required();
  synth
      ->add_option("--pattern", options->pattern,
                   "Built-in signal when no input is given (default sweep)")
      ->check(CLI::IsMember({"sweep", "steps", "static"}));
  synth->add_option("--frames", options->frames, "Frames of the built-in signal (default 300)")
      ->check(WholeNumberIn(1, 100000000));
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
      ->check(NumberIn(0.0, 100.0));
  synth
      ->add_option("--glitch-rate", options->impairments.GlitchRate,
                   "Fraction of frames that get one fault: an invalid code word or a split run")
      ->check(NumberIn(0.0, 1.0));
  synth
      ->add_option("--gap-ms", options->impairments.GapMs,
                   "Idle time between frames in ms (default 0)")
      ->check(NumberIn(0.0, 10000.0));
  synth
      ->add_option("--gap-every", options->impairments.GapEvery,
                   "Put the gap only between bursts of this many frames (default 1)")
      ->check(WholeNumberIn(1, 1000000000));
  synth->add_option("--seed", options->impairments.Seed, "Seed for the impairments (default 1)")
      ->check(WholeNumberIn(0, std::numeric_limits<long long>::max()));
  synth
      ->add_option("--ecc", options->eccFile,
                   "Write the ecc fields by the affine code in this file (default: ecc 0)")
      ->check(FileName());
  synth
      ->add_option("--ecc-seed", options->eccSeed,
                   "Write the ecc fields by an affine code drawn from this seed")
      ->check(WholeNumberIn(0, std::numeric_limits<long long>::max()));
  synth
      ->add_option("--wav", options->wav,
                   "Also render the signal as audio (.wav, .flac, .aiff or .w64 by extension; - "
                   "streams WAV to standard output)")
      ->check(FileName());
  // The rates the receiver reads: a rendering that import would refuse helps nobody.
  synth->add_option("--rate", options->audio.Rate, "Sample rate of the audio (default 44100)")
      ->check(WholeNumberIn(LowestSampleRate, HighestSampleRate));
  synth
      ->add_option("--channels", options->audio.Channels,
                   "Channels of the audio, each with the signal (default 1)")
      ->check(WholeNumberIn(1, 8));
  synth
      ->add_option("--amplitude", options->audio.Amplitude,
                   "Peak level of the audio, full scale 1 (default 0.8)")
      ->check(NumberIn(0.0, 1.0));
  synth
      ->add_option("--sample-format", options->audio.SampleFormat,
                   "pcm16, pcm24 or float (default pcm16)")
      ->check(CLI::IsMember({"pcm16", "pcm24", "float"}));
  synth
      ->add_option("--noise", options->audio.Noise,
                   "Gaussian noise added to the audio, standard deviation (default 0)")
      ->check(NumberIn(0.0, 1.0));
  synth
      ->add_option("--dc-offset", options->audio.DcOffset,
                   "Constant added to the audio (default 0)")
      ->check(NumberIn(-1.0, 1.0));
  synth->add_flag("--invert", options->audio.Invert, "Invert the audio's polarity");
  synth
      ->add_option("--ac-coupling-ms", options->audio.AcCouplingMs,
                   "Time constant of a simulated AC-coupled input in ms (default 0: none)")
      ->check(NumberIn(0.0, 10000.0));
  synth
      ->add_option("--low-pass-hz", options->audio.LowPassHz,
                   "Corner of a second-order low-pass, as a band-limited line (default 0: none)")
      ->check(NumberIn(0.0, 1e6));
  synth->add_option("--hum-hz", options->audio.HumHz, "Frequency of added mains hum (default 50)")
      ->check(NumberIn(0.0, 1e5));
  synth->add_option("--hum", options->audio.HumAmplitude, "Amplitude of added hum (default 0)")
      ->check(NumberIn(0.0, 10.0));
  synth
      ->add_option("--time-scale", options->audio.TimeScale,
                   "Audio timing, as " + ClockFactorMeaning + " (default 1)")
      ->check(NumberIn(0.5, 2.0));
  synth
      ->add_option("--capture-time-scale", options->impairments.TimeScale,
                   "The capture's own timing, as a logic analyzer records " + ClockFactorMeaning +
                       " (default 1)")
      ->check(NumberIn(0.5, 2.0));
  synth
      ->add_option("--silent-runs-ms", options->audio.SilentRunsMs,
                   "Render runs at least this long as silence, a transmitter switched off "
                   "(default 0: none)")
      ->check(NumberIn(0.0, 1e7));
  synth->callback([options, &exitCode] { exitCode = RunSynth(*options); });
}
