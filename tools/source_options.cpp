// A command in; its source and receiver options declared on it.
#include "tools/source_options.h"

#include "ecc/affine_code.h"
#include "files/file_identity.h"
#include "files/file_name_check.h"
#include "import/raw_pcm_import.h"
#include "import/sample_import.h"
#include "tools/command_support.h"

void AddReceiverOptions(CLI::App* command, ImportRequest& request,
                        std::optional<double>& threshold) {
  command->add_option("--device", request.Audio.Device,
                      "Record live from an ALSA capture device (hw:1, plughw:1,0, default)");
  std::string formats;
  for (const std::string& name : RawFormatNames()) formats += (formats.empty() ? "" : ", ") + name;
  command
      ->add_option("--raw", request.Audio.RawFormat,
                   "Headerless samples on standard input or in a file: " + formats)
      ->check(CLI::IsMember(RawFormatNames()));
  command
      ->add_option("--rate", request.Audio.Rate,
                   "Sample rate of raw PCM or a sound card in Hz (default 44100)")
      ->check(WholeNumberIn(LowestSampleRate, HighestSampleRate));
  command
      ->add_option("--channels", request.Audio.Channels,
                   "Channels of raw PCM or a sound card (default 1)")
      ->check(WholeNumberIn(1, 64));
  command
      ->add_option("--seconds", request.Audio.MostSeconds,
                   "Stop after this much audio (default: at the end, or SIGINT)")
      ->check(NumberIn(0, 1e9));
  command
      ->add_option("--channel", request.Audio.Channel, "Audio channel to read, from 1 (default 1)")
      ->check(WholeNumberIn(1, 1024));
  command
      ->add_option("--min-run", request.Audio.Receiver.MinRunCells,
                   "Drop runs shorter than this many cells as glitches (default 0: keep all)")
      ->check(NumberIn(0.0, 10.0));
  command
      ->add_option("--threshold", threshold,
                   "Fixed decision threshold (full scale 1) instead of the tracked midpoint")
      ->check(NumberIn(-1e6, 1e6));
  command
      ->add_option("--scale", request.Scale,
                   "Fixed timing instead of the tracked cell length, as " + ClockFactorMeaning)
      ->check(NumberIn(0.5, 2.0));
}

void AddSourceOptions(CLI::App* command, SourceOptions& options) {
  command
      ->add_option("source", options.Input,
                   "Capture or audio file; - for standard input (a capture stream, or raw "
                   "samples with --raw); or give --device")
      ->check(FileName());
  AddReceiverOptions(command, options.Request, options.Threshold);
  command
      ->add_option("--signal-lost-ms", options.Session.SignalLostMs,
                   "Signal time without a valid frame after which the signal counts as lost "
                   "(default 100)")
      ->check(NumberIn(20, 60000));
}

std::string UseEccCode(const std::string& file, SourceOptions& options) {
  if (file.empty()) return "";
  return LoadEccCode(file, options.Session.Ecc.emplace());
}

std::string RefuseWritingOverInputs(const SourceOptions& source,
                                    const std::vector<std::string>& otherInputs,
                                    const std::vector<std::string>& outputs) {
  std::vector<std::string> inputs;
  if (!source.Input.empty()) inputs.push_back(source.Input);
  for (const std::string& input : otherInputs) {
    if (!input.empty()) inputs.push_back(input);
  }
  return RefuseCollisions(inputs, outputs);
}

std::string CheckSource(const std::string& command, const SourceOptions& source) {
  std::string error = CheckSourceOptions(source);
  if (std::string unused = UnusedReceiverOptions(source); error.empty() && !unused.empty()) {
    const bool one = unused.find(',') == std::string::npos;
    Note(command, "warning: " + unused + (one ? " describes" : " describe") +
                      " audio to receive; " + SourceName(source) +
                      " is a capture of runs received already, so " +
                      (one ? "it changes" : "they change") + " nothing");
  }
  return error;
}
