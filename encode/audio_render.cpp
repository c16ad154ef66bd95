// Capture to audio: run durations in, a sound file of alternating levels out.
#include "encode/audio_render.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "common/signal_layout.h"
#include "encode/seeded_random.h"
#include "files/output_file.h"

namespace {

constexpr std::size_t BlockSamples = 65536;

std::string Extension(const std::string& path) {
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos) return "";
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

int FileFormat(const std::string& path, const std::string& sampleFormat) {
  std::string extension = Extension(path);
  int container = extension == "wav"                          ? SF_FORMAT_WAV
                  : extension == "flac"                       ? SF_FORMAT_FLAC
                  : extension == "aiff" || extension == "aif" ? SF_FORMAT_AIFF
                  : extension == "w64"                        ? SF_FORMAT_W64
                                                              : 0;
  int samples = sampleFormat == "pcm16"   ? SF_FORMAT_PCM_16
                : sampleFormat == "pcm24" ? SF_FORMAT_PCM_24
                : sampleFormat == "float" ? SF_FORMAT_FLOAT
                                          : 0;
  return container != 0 && samples != 0 ? container | samples : 0;
}

// Gaussian noise from the seeded generator (Box-Muller).
double Gaussian(SeededRandom& random) {
  double u = std::max(random.Unit(), 1e-300);
  return std::sqrt(-2 * std::log(u)) * std::cos(2 * std::numbers::pi * random.Unit());
}

}  // namespace

std::string RenderAudio(const std::string& path, const RunDurations& durations,
                        const AudioRenderOptions& options) {
  SF_INFO info{};
  info.samplerate = options.Rate;
  info.channels = options.Channels;
  info.format = FileFormat(path, options.SampleFormat);
  if (info.format == 0 || !sf_format_check(&info)) {
    return "cannot write " + options.SampleFormat + " samples to " + path +
           " (use .wav, .flac, .aiff or .w64; FLAC takes pcm16 or pcm24)";
  }
  AtomicFile file;
  if (std::string error = file.Open(path); !error.empty()) return error;
  SNDFILE* sound = sf_open_fd(fileno(file.Stream()), SFM_WRITE, &info, SF_FALSE);
  if (sound == nullptr) return "cannot write " + path + ": " + sf_strerror(nullptr);
  sf_command(sound, SFC_SET_CLIPPING, nullptr, SF_TRUE);

  // Edge times in samples; the level of run i is low for even i, high for odd.
  const double samplesPerUnit = options.Rate / UnitsPerSecond;
  std::vector<double> edges;
  edges.reserve(durations.size());
  double units = 0;
  for (std::int32_t duration : durations) {
    units += duration;
    edges.push_back(units * samplesPerUnit);
  }
  auto totalSamples = static_cast<std::size_t>(std::ceil(edges.empty() ? 0 : edges.back()));

  SeededRandom random(options.Seed);
  const double highPass =
      options.AcCouplingMs > 0
          ? (options.AcCouplingMs / 1000) / (options.AcCouplingMs / 1000 + 1.0 / options.Rate)
          : 0;
  double previousInput = 0, previousOutput = 0;
  std::size_t run = 0;
  std::vector<float> block;
  block.reserve(BlockSamples);
  bool written = true;
  for (std::size_t n = 0; n < totalSamples && written; ++n) {
    // Average level over [n - 0.5, n + 0.5).
    double from = static_cast<double>(n) - 0.5, to = from + 1, high = 0;
    while (run < edges.size() && edges[run] <= from) ++run;
    for (std::size_t r = run; r < edges.size() && from < to; ++r) {
      double until = std::min(edges[r], to);
      if (r % 2 == 1) high += until - from;
      from = until;
    }
    double value = options.Amplitude * (2 * high - 1);
    if (highPass > 0) {
      double filtered = highPass * (previousOutput + value - previousInput);
      previousInput = value;
      previousOutput = filtered;
      value = filtered;
    }
    if (options.Invert) value = -value;
    value += options.DcOffset;
    if (options.Noise > 0) value += options.Noise * Gaussian(random);
    block.insert(block.end(), static_cast<std::size_t>(options.Channels),
                 static_cast<float>(value));
    if (block.size() >= BlockSamples || n + 1 == totalSamples) {
      auto frames = static_cast<sf_count_t>(block.size()) / options.Channels;
      written = sf_writef_float(sound, block.data(), frames) == frames;
      block.clear();
    }
  }
  bool closed = sf_close(sound) == 0;
  if (!written || !closed) return "cannot write " + path;
  return file.Commit();
}
