// Samples in from any source, runs to the request's sink and the summary out.
#include "import/sample_import.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "common/signal_layout.h"
#include "files/stop_signal.h"
#include "import/cell_receiver.h"
#include "import/edge_timeline.h"
#include "import/sample_guard.h"

namespace {

// Shorter recordings import in a moment; progress would only flicker.
constexpr double ProgressAfterSeconds = 5;
// A sample this close to full scale was clipped by the sound card (16 bits reach 32767/32768).
constexpr float ClippingLevel = 0.999f;

// What a recording in which the receiver found no signal holds instead.
std::string NoSignalFound(const std::string& name, float peak) {
  if (peak == 0) return name + " is silent: every sample is 0";
  char text[160];
  std::snprintf(text, sizeof text,
                " holds no pulse signal with cells of %.2f ms; its peak level is %.3g of full "
                "scale",
                MillisecondsPerCell, peak);
  return name + text;
}

}  // namespace

std::string RefuseSampleRate(const std::string& name, double rate) {
  if (rate >= LowestSampleRate && rate <= HighestSampleRate) return {};
  char text[160];
  std::snprintf(text, sizeof text,
                "'s sample rate, %.0f Hz, is out of range: recordings are received at %d to %d Hz",
                rate, LowestSampleRate, HighestSampleRate);
  return name + text;
}

std::string ImportSamples(SampleSource& source, const std::string& name,
                          const ImportRequest& request, ImportSummary& summary) {
  summary.Format = source.Format;
  summary.Rate = source.Rate;
  summary.Channels = source.Channels;
  if (std::string refusal = RefuseSampleRate(name, source.Rate); !refusal.empty()) return refusal;
  RunSink& sink = *request.Sink;
  if (source.Live) {
    EndInputOnSignal();
    source.Waiting = [&sink] { return !StopRequested() && sink.Waiting(); };
  }

  // Sound cards and transmitters run a little fast or slow: the receiver's cell clock follows
  // them, unless --scale fixes the cell length, and hands on whole cells of the nominal length.
  ReceiverSettings settings = request.Audio.Receiver;
  settings.SampleRate = source.Rate;
  if (request.Scale) settings.FixedCellLength = *request.Scale;
  CellReceiver receiver(settings);
  EdgeTimeline timeline(sink, UnitsPerSecond / source.Rate);
  SampleGuard guard;
  bool refused = false;  // the sink took no more

  const std::size_t block = std::max<std::size_t>(1, source.BlockFrames);
  std::vector<float> samples(block);
  std::vector<double> edges;
  // Each run's weakest decision margin, measured only for a sink that grades frames by them.
  std::vector<float> margins;
  std::vector<float>* const graded = sink.WantsMargins() ? &margins : nullptr;
  auto addEdges = [&] {
    for (std::size_t i = 0; i < edges.size(); ++i) {
      const float margin = graded ? margins[i] : EdgeTimeline::NoMargin;
      refused = refused || !timeline.AddEdge(edges[i], margin);
    }
    edges.clear();
    margins.clear();
  };
  const auto mostFrames =
      request.Audio.MostSeconds > 0
          ? static_cast<std::int64_t>(std::min(request.Audio.MostSeconds * source.Rate, 9e18))
          : INT64_MAX;
  const bool showProgress =
      request.Progress && source.AnnouncedFrames > 0 &&
      static_cast<double>(source.AnnouncedFrames) > ProgressAfterSeconds * source.Rate;
  std::int64_t framesRead = 0;
  std::string error;
  while (framesRead < mostFrames) {
    std::size_t wanted = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(block), mostFrames - framesRead));
    long got = source.Read(samples.data(), wanted);
    if (got < 0) {
      error = source.Error();
      break;
    }
    if (got == 0) break;
    if (request.Levels) {
      BlockLevels levels;
      for (long i = 0; i < got; ++i) {
        const float magnitude = std::fabs(samples[i]);
        levels.Peak = std::fmax(levels.Peak, magnitude);
        levels.Clipped += magnitude >= ClippingLevel || std::isnan(magnitude);
      }
      levels.UnitsPerCell = receiver.MeasuredSamplesPerCell() * UnitsPerSecond / source.Rate;
      levels.Overruns = source.Overruns;
      request.Levels(levels);
    }
    guard.Clean(samples.data(), static_cast<std::size_t>(got));
    receiver.Feed(samples.data(), static_cast<std::size_t>(got), edges, graded);
    addEdges();
    framesRead += got;
    refused = refused || !timeline.HandOn();
    // Silence is time too: the sink learns how far the signal has gone, edges or not.
    sink.SignalTime(receiver.GridTimeOf(static_cast<double>(framesRead)) * 1000 / source.Rate);
    sink.HandOn();
    if (showProgress) {
      request.Progress(static_cast<double>(framesRead) /
                       static_cast<double>(source.AnnouncedFrames));
    }
    if (refused || (source.Live && StopRequested())) break;
  }
  summary.EndedBySignal = source.Live && StopRequested();
  summary.EndedBySink = refused;
  if (!error.empty() && !summary.EndedBySignal) return error;
  if (!refused && !source.Live && source.AnnouncedFrames > 0 &&
      framesRead < source.AnnouncedFrames && framesRead < mostFrames) {
    return name + " is truncated: its header announces " + std::to_string(source.AnnouncedFrames) +
           " frames, the file holds " + std::to_string(framesRead);
  }
  if (!refused) {
    receiver.Finish(edges, graded);
    addEdges();
    refused = !timeline.Close(receiver.GridTimeOf(static_cast<double>(framesRead))) || refused;
    sink.HandOn();
    summary.EndedBySink = refused;
  }

  summary.Seconds = static_cast<double>(framesRead) / source.Rate;
  summary.HighLevel = receiver.HighLevel();
  summary.LowLevel = receiver.LowLevel();
  summary.Runs = timeline.RunsWritten();
  summary.RunsClamped = timeline.RunsClamped();
  summary.Fit = timeline.Fit();
  summary.TimingTracked = !request.Scale;
  summary.MeasuredUnitsPerCell = receiver.MeasuredSamplesPerCell() * UnitsPerSecond / source.Rate;
  summary.SamplesNotNumbers = guard.NotNumbers;
  summary.SamplesClipped = guard.Clipped;
  summary.Overruns = source.Overruns;
  if (refused) return {};  // the sink says why
  if (framesRead == 0) return name + " holds an empty recording";
  if (!receiver.SawSignal()) return NoSignalFound(name, guard.Peak);
  if (summary.Runs == 0) return name + " is flat: the level never changes";
  return {};
}
