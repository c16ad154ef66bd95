// A source's description in; runs and time into a decode session out.
#include "sources/signal_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "files/capture_file.h"
#include "import/audio_import.h"
#include "import/device_import.h"
#include "import/raw_pcm_import.h"

namespace {

// Bytes looked at to tell an audio file from a capture.
constexpr std::size_t RecognizedBytes = 64;

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return path != "-" && stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Whether the regular file `path` begins like an audio recording rather than a capture.
bool LooksLikeAudio(const std::string& path) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return false;
  unsigned char bytes[RecognizedBytes];
  const ssize_t got = read(descriptor, bytes, sizeof bytes);
  close(descriptor);
  return got > 0 && RecognizeNonCapture(bytes, static_cast<std::size_t>(got))
                        .starts_with(AudioRecordingRefusal);
}

}  // namespace

std::string CheckSourceOptions(const SourceOptions& options) {
  const bool device = !options.Request.Audio.Device.empty();
  if (device && !options.Input.empty()) return "give a source or --device, not both";
  if (!device && options.Input.empty()) {
    return "give a source: a capture or audio file, - for standard input, or --device";
  }
  if (device && !options.Request.Audio.RawFormat.empty()) {
    return "--raw describes a file or standard input, not a sound card";
  }
  if (!options.Request.Audio.RawFormat.empty()) return CheckRawChannel(options.Request.Audio);
  return {};
}

std::string UnusedReceiverOptions(const SourceOptions& options) {
  const AudioImportOptions& audio = options.Request.Audio;
  const AudioImportOptions defaults;
  if (!audio.Device.empty() || !audio.RawFormat.empty()) return {};
  if (options.Input != "-" && !IsRegularFile(options.Input)) return {};
  if (IsRegularFile(options.Input) && LooksLikeAudio(options.Input)) return {};
  std::string names;
  auto given = [&names](bool set, const char* name) {
    if (set) names += (names.empty() ? "" : ", ") + std::string(name);
  };
  given(audio.Rate != defaults.Rate, "--rate");
  given(audio.Channels != defaults.Channels, "--channels");
  given(audio.Channel != defaults.Channel, "--channel");
  given(audio.MostSeconds > 0, "--seconds");
  given(audio.Receiver.MinRunCells > 0, "--min-run");
  given(options.Threshold.has_value(), "--threshold");
  given(options.Request.Scale.has_value(), "--scale");
  return names;
}

std::string SourceName(const SourceOptions& options) {
  if (!options.Request.Audio.Device.empty()) return options.Request.Audio.Device;
  return options.Input == "-" ? "standard input" : options.Input;
}

bool SourceIsFile(const SourceOptions& options) {
  return options.Request.Audio.Device.empty() && IsRegularFile(options.Input);
}

std::string PlaySource(const SourceOptions& options, DecodeObserver& observer,
                       SourceReport& report) {
  const bool device = !options.Request.Audio.Device.empty();
  const bool raw = !options.Request.Audio.RawFormat.empty();
  if (!device && !raw && !(IsRegularFile(options.Input) && LooksLikeAudio(options.Input))) {
    return DecodeCaptureFile(options.Input, observer, options.Session);
  }
  ImportRequest request = options.Request;
  request.Input = options.Input;
  request.Audio.Receiver.FixedThreshold = options.Threshold;
  request.Levels = report.Levels;
  report.Received = true;
  DecodeSession session(observer, options.Session);
  request.Sink = &session;
  if (device) return ImportDevice(request, report.Import);
  if (raw) return ImportRawPcm(request, report.Import);
  return ImportAudio(request, report.Import);
}

std::string ReceivedSummary(const SourceOptions& options, const SourceReport& report) {
  if (!report.Received) return {};
  ImportRequest request = options.Request;
  request.Input = options.Input;
  return ImportSummaryText(request, "the decoder", report.Import);
}
