// MorvantisCapture import: options in, a capture file and a summary on standard error out.
#include "tools/import_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "common/capture_records.h"
#include "files/capture_writer.h"
#include "files/file_identity.h"
#include "files/file_name_check.h"
#include "files/output_file.h"
#include "import/device_import.h"
#include "import/importers.h"
#include "import/raw_pcm_import.h"
#include "study/decode_session.h"
#include "tools/command_support.h"
#include "tools/source_options.h"

namespace {

constexpr const char* Command = "import";

struct ImportOptions {
  std::string output;
  bool listDevices = false;
  std::string format = "auto";
  std::optional<double> threshold;
  ImportRequest request;
};

// The runs go to the capture file and, beside it, through a decode, so that the summary can say
// whether the recording gave any frame at all.
class CheckedCapture : public RunSink {
 public:
  CheckedCapture(CaptureWriter& writer, DecodeSession& decode) : writer_(writer), decode_(decode) {}
  bool TakeRuns(const std::int32_t* durations, std::size_t count) override {
    decode_.TakeRuns(durations, count);
    return writer_.TakeRuns(durations, count);
  }
  void HandOn() override { writer_.HandOn(); }

 private:
  CaptureWriter& writer_;
  DecodeSession& decode_;
};

// A progress bar on standard error, only for a person watching a long import.
ProgressReport ProgressBar(const std::string& input) {
  if (!isatty(fileno(stderr))) return {};
  return [input, shown = -1](double fraction) mutable {
    int percent = static_cast<int>(fraction * 100);
    if (percent == shown) return;
    shown = percent;
    std::fprintf(stderr, "\rMorvantisCapture import: %s %3d%%", input.c_str(), percent);
    if (percent >= 100) std::fputc('\n', stderr);
  };
}

int RunImport(ImportOptions options) {
  ImportRequest& request = options.request;
  if (options.listDevices) {
    std::string list = CaptureDeviceList();
    std::fputs(list.empty() ? "no capture devices found\n" : list.c_str(), stdout);
    return FinishStandardOutput(Command, ExitOk);
  }
  const bool device = !request.Audio.Device.empty();
  if (device == !request.Input.empty()) {
    return Usage(Command, device ? "give an input or --device, not both"
                                 : "give an input (a file, or - for standard input) or --device");
  }
  if (options.output.empty()) return Usage(Command, "give the capture to write with -o");
  // A live recording (a sound card, a pipe, a FIFO) cannot be made again: when the output
  // fails, what reached it is kept, as when the user ends the recording.
  bool live = device;
  if (!device && request.Input == "-") {
    struct stat info {};
    live = fstat(STDIN_FILENO, &info) != 0 || !S_ISREG(info.st_mode);
  } else if (!device) {
    struct stat info {};
    if (stat(request.Input.c_str(), &info) != 0)
      return Fail(Command, "cannot open " + request.Input + ": " + std::strerror(errno));
    if (S_ISDIR(info.st_mode)) return Fail(Command, request.Input + " is a directory");
    live = !S_ISREG(info.st_mode);
  }
  std::vector<std::string> inputs;
  if (!device) inputs.push_back(request.Input);
  if (std::string error = RefuseCollisions(inputs, {options.output}); !error.empty())
    return Fail(Command, error);
  std::string format = options.format;
  if (!request.Audio.RawFormat.empty()) {
    if (format != "auto" && format != "raw") return Usage(Command, "--raw reads raw PCM only");
    if (std::string error = CheckRawChannel(request.Audio); !error.empty())
      return Usage(Command, error);
    format = "raw";
  }
  const Importer* importer = device ? nullptr : ChooseImporter(format, request.Input);

  OutputFile output;
  if (std::string error = output.Open(options.output); !error.empty()) return Fail(Command, error);
  // Someone may be reading the capture as it is made: it is handed on after every block.
  CaptureWriter writer(output.Stream(), output.Direct());
  DecodeObserver frames;
  DecodeSession decode(frames);
  CheckedCapture checked(writer, decode);
  request.Sink = &checked;
  request.Audio.Receiver.FixedThreshold = options.threshold;
  request.Progress = ProgressBar(request.Input);
  ImportSummary summary;
  std::string error = device ? ImportDevice(request, summary) : importer->Read(request, summary);
  if (error.empty()) writer.Finish();
  if (error.empty() && writer.Failure() != 0) {
    error = "cannot write to " + output.Name() + ": " + std::strerror(writer.Failure());
    if (live) {
      std::string kept = output.CommitWholeRecords(CaptureRecordBytes);
      error += kept.empty() ? "; the whole runs written before are kept" : "; " + kept;
    }
  }
  if (!error.empty()) return Fail(Command, error);
  if (std::string commitError = output.Commit(); !commitError.empty())
    return Fail(Command, commitError);
  Note(Command, ImportSummaryText(request, output.Name(), summary));
  const FrameTally& tally = decode.Tally();
  Note(Command, std::to_string(tally.Complete) + (tally.Complete == 1 ? " frame" : " frames") +
                    " decoded from it");
  if (tally.Complete == 0) {
    Note(Command, std::string("warning: no frame decodes from this recording: it may not carry "
                              "the signal, or be too damaged") +
                      (summary.Rate > 0 ? ", or its sample rate is not what the input says (--rate)"
                                        : ", or its timing is off (--scale)"));
  }
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
      "  MorvantisCapture import --device plughw:1 -o - | Morvantis /dev/stdin 2\n"
      "  arecord -t raw -f S16_LE -r 44100 | MorvantisCapture import - --raw s16le -o -\n"
      "\n"
      "Audio (anything libsndfile reads, at 8 to 768 kHz) goes through a receiver: a filter\n"
      "matched to the bit cell, a cell clock that follows a transmitter or sound card up to\n"
      "about 5 percent fast or slow, and decisions at each cell's middle against a baseline\n"
      "that follows DC offset, hum, AGC and AC droop. The capture is written in whole cells of\n"
      "the nominal length; when a write fails (a full disk) while recording a sound card, a\n"
      "pipe or a FIFO, the whole runs written before are kept.\n"
      "VCD: the signal's level changes, with the file's timescale. CSV: rows of time (seconds)\n"
      "and level (0.5 or more is high). The summary on standard error gives the cell length\n"
      "measured against the nominal 6.623 units and the --scale it amounts to.");
  command
      ->add_option("input", options->request.Input,
                   "Recording: audio, raw PCM, .vcd or .csv; - for standard input")
      ->check(FileName());
  command
      ->add_option("-o,--output", options->output,
                   "Capture file to write, - for standard output (written as it goes)")
      ->check(FileName());
  AddReceiverOptions(command, options->request, options->threshold);
  command->add_flag("--list-devices", options->listDevices, "List the capture devices and stop");
  command
      ->add_option("--format", options->format,
                   "auto (by extension), audio, vcd or csv (default auto)")
      ->check(CLI::IsMember([] {
        std::vector<std::string> names = {"auto"};
        for (const Importer& importer : Importers()) names.emplace_back(importer.Name);
        return names;
      }()));
  command->add_option("--signal", options->request.Logic.Signal,
                      "VCD signal to read (needed when there are several)");
  command->callback([options, &exitCode] { exitCode = RunImport(*options); });
}
