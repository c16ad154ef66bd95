// Audio file in (through libsndfile), capture records out.
#include "import/audio_import.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "common/signal_layout.h"
#include "import/edge_timeline.h"
#include "import/level_slicer.h"
#include "import/sample_guard.h"

namespace {

// A block holds this many samples of all channels together, so memory stays the same however
// many channels a file announces.
constexpr sf_count_t BlockSamples = 1 << 18;
// Shorter recordings import in a moment; progress would only flicker.
constexpr double ProgressAfterSeconds = 5;

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};

std::string FormatName(int format) {
  SF_FORMAT_INFO info{};
  info.format = format & SF_FORMAT_TYPEMASK;
  if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || info.name == nullptr) {
    return "audio";
  }
  return info.name;
}

// libsndfile reads a cut-off WAV up to where it ends and only notes the shortfall in its log, as
// "data : ANNOUNCED (should be PRESENT)". Streaming writers that could not fill in the size put
// 0 or all ones there; those are not cut off.
std::string TruncationNote(SNDFILE* file) {
  char log[8192] = {};
  sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
  const char* data = std::strstr(log, "data : ");
  unsigned long long announced = 0, present = 0;
  if (data == nullptr ||
      std::sscanf(data, "data : %llu (should be %llu)", &announced, &present) != 2) {
    return {};
  }
  if (announced <= present || announced == 0 || announced >= 0xFFFFFFF0ull) return {};
  return "its data chunk announces " + std::to_string(announced) + " bytes, the file holds " +
         std::to_string(present);
}

}  // namespace

std::string ImportAudio(const ImportRequest& request, ImportSummary& summary) {
  const std::string& path = request.Input;
  const AudioImportOptions& options = request.Audio;
  const ProgressReport& progress = request.Progress;
  SF_INFO info{};
  std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) {
    return path + " is not an audio file that can be read (" + sf_strerror(nullptr) + ")";
  }
  summary.Format = FormatName(info.format);
  summary.Rate = info.samplerate;
  summary.Channels = info.channels;
  if (std::string note = TruncationNote(file.get()); !note.empty()) {
    return path + " is truncated: " + note;
  }
  if (info.frames <= 0) return path + " holds an empty recording";
  if (info.samplerate <= 0) return path + " has no sample rate";
  if (options.Channel < 1 || options.Channel > info.channels) {
    return "channel " + std::to_string(options.Channel) + " does not exist: " + path + " has " +
           std::to_string(info.channels) +
           (info.channels == 1 ? " channel (1)"
                               : " channels (1 to " + std::to_string(info.channels) + ")");
  }

  SlicerSettings slicerSettings = options.Slicer;
  slicerSettings.SampleRate = info.samplerate;
  LevelSlicer slicer(slicerSettings);
  EdgeTimeline timeline(request.Output, UnitsPerSecond / info.samplerate * request.Scale);

  const sf_count_t blockFrames = std::max<sf_count_t>(1, BlockSamples / info.channels);
  std::vector<float> interleaved(static_cast<std::size_t>(blockFrames) *
                                 static_cast<std::size_t>(info.channels));
  std::vector<float> mono(static_cast<std::size_t>(blockFrames));
  SampleGuard guard;
  std::vector<double> edges;
  sf_count_t framesRead = 0;
  bool showProgress =
      progress && static_cast<double>(info.frames) > ProgressAfterSeconds * info.samplerate;
  for (;;) {
    sf_count_t got = sf_readf_float(file.get(), interleaved.data(), blockFrames);
    if (got <= 0) break;
    for (sf_count_t i = 0; i < got; ++i) {
      mono[static_cast<std::size_t>(i)] =
          interleaved[static_cast<std::size_t>(i * info.channels + options.Channel - 1)];
    }
    guard.Clean(mono.data(), static_cast<std::size_t>(got));
    edges.clear();
    slicer.Feed(mono.data(), static_cast<std::size_t>(got), edges);
    for (double edge : edges) timeline.AddEdge(edge);
    framesRead += got;
    if (showProgress) progress(static_cast<double>(framesRead) / static_cast<double>(info.frames));
  }
  if (sf_error(file.get()) != SF_ERR_NO_ERROR) return path + ": " + sf_strerror(file.get());
  if (framesRead < info.frames) {
    return path + " is truncated: its header announces " + std::to_string(info.frames) +
           " frames, the file holds " + std::to_string(framesRead);
  }
  edges.clear();
  slicer.Finish(edges);
  for (double edge : edges) timeline.AddEdge(edge);
  timeline.Close(static_cast<double>(framesRead));

  summary.Seconds = static_cast<double>(framesRead) / info.samplerate;
  summary.HighLevel = slicer.HighLevel();
  summary.LowLevel = slicer.LowLevel();
  summary.Runs = timeline.RunsWritten();
  summary.RunsClamped = timeline.RunsClamped();
  summary.Fit = timeline.Fit();
  summary.SamplesNotNumbers = guard.NotNumbers;
  summary.SamplesClipped = guard.Clipped;
  if (!slicer.SawSignal()) return path + " is silent: no signal to slice";
  if (summary.Runs == 0) return path + " is flat: the level never changes";
  return {};
}
