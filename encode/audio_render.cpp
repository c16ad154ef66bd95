// Capture to audio: run durations in, a sound file of alternating levels out.
#include "encode/audio_render.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "common/signal_layout.h"

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

// `-`: WAV on standard output, which cannot be gone back to for the sizes.
bool StreamedWav(const std::string& path) {
  return path == "-";
}

SF_INFO InfoFor(const std::string& path, const AudioRenderOptions& options) {
  SF_INFO info{};
  info.samplerate = options.Rate;
  info.channels = options.Channels;
  info.format = StreamedWav(path) ? FileFormat(".wav", options.SampleFormat)
                                  : FileFormat(path, options.SampleFormat);
  return info;
}

// The header of a WAV stream: the RIFF and data sizes are 0xFFFFFFFF, "not known", as players
// reading a pipe expect; the samples follow it as raw little-endian PCM or float.
//
//   "RIFF" FFFFFFFF "WAVE" "fmt " 16 tag channels rate bytes/s block bits "data" FFFFFFFF
bool WriteStreamedWavHeader(std::FILE* out, const AudioRenderOptions& options) {
  const bool isFloat = options.SampleFormat == "float";
  const std::uint32_t bits = isFloat ? 32 : options.SampleFormat == "pcm24" ? 24 : 16;
  const auto channels = static_cast<std::uint32_t>(options.Channels);
  const auto rate = static_cast<std::uint32_t>(options.Rate);
  const std::uint32_t block = bits / 8 * channels;
  std::string header;
  auto put = [&](std::uint32_t value, int bytes) {
    for (int b = 0; b < bytes; ++b) header += static_cast<char>(value >> (8 * b) & 0xFF);
  };
  header += "RIFF";
  put(0xFFFFFFFF, 4);
  header += "WAVEfmt ";
  put(16, 4);
  put(isFloat ? 3 : 1, 2);  // IEEE float or PCM
  put(channels, 2);
  put(rate, 4);
  put(rate * block, 4);
  put(block, 2);
  put(bits, 2);
  header += "data";
  put(0xFFFFFFFF, 4);
  return std::fwrite(header.data(), 1, header.size(), out) == header.size() &&
         std::fflush(out) == 0;
}

// Gaussian noise from the seeded generator (Box-Muller).
double Gaussian(SeededRandom& random) {
  double u = std::max(random.Unit(), 1e-300);
  return std::sqrt(-2 * std::log(u)) * std::cos(2 * std::numbers::pi * random.Unit());
}

// libsndfile's view of a stream it writes straight on: it can only grow.
sf_count_t StreamLength(void* stream) {
  return static_cast<AudioRenderer::Stream*>(stream)->Written;
}
sf_count_t StreamSeek(sf_count_t, int, void* stream) {
  return static_cast<AudioRenderer::Stream*>(stream)->Written;
}
sf_count_t StreamRead(void*, sf_count_t, void*) {
  return 0;
}
sf_count_t StreamWrite(const void* bytes, sf_count_t count, void* stream) {
  auto* s = static_cast<AudioRenderer::Stream*>(stream);
  auto written =
      static_cast<sf_count_t>(std::fwrite(bytes, 1, static_cast<std::size_t>(count), s->Out));
  s->Written += written;
  return written;
}
SF_VIRTUAL_IO StreamCalls = {StreamLength, StreamSeek, StreamRead, StreamWrite, StreamLength};

}  // namespace

std::string CheckAudioOutput(const std::string& path, const AudioRenderOptions& options) {
  SF_INFO info = InfoFor(path, options);
  if (info.format == 0 || !sf_format_check(&info)) {
    return "cannot write " + options.SampleFormat + " samples to " + path +
           " (use .wav, .flac, .aiff or .w64; FLAC takes pcm16 or pcm24)";
  }
  return {};
}

AudioRenderer::~AudioRenderer() {
  if (sound_ != nullptr) sf_close(sound_);
}

std::string AudioRenderer::Open(const std::string& path, const AudioRenderOptions& options) {
  if (std::string error = CheckAudioOutput(path, options); !error.empty()) return error;
  options_ = options;
  random_ = SeededRandom(options.Seed);
  if (std::string error = file_.Open(path); !error.empty()) return error;
  SF_INFO info = InfoFor(path, options);
  if (StreamedWav(path)) {
    // The header by hand, then libsndfile's raw samples, which need no going back, handed to
    // the stream as they come (wherever standard output stands when it begins).
    if (!WriteStreamedWavHeader(file_.Stream(), options)) return "cannot write " + file_.Name();
    info.format = SF_FORMAT_RAW | SF_ENDIAN_LITTLE | (info.format & SF_FORMAT_SUBMASK);
    stream_ = {file_.Stream(), 0};
    sound_ = sf_open_virtual(&StreamCalls, SFM_WRITE, &info, &stream_);
  } else {
    sound_ = sf_open_fd(fileno(file_.Stream()), SFM_WRITE, &info, SF_FALSE);
  }
  if (sound_ == nullptr) return "cannot write " + path + ": " + sf_strerror(nullptr);
  sf_command(sound_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  samplesPerUnit_ = options.Rate / UnitsPerSecond * options.TimeScale;
  silentSamples_ = options.SilentRunsMs > 0 ? options.SilentRunsMs / 1000 * options.Rate : 0;
  if (options.LowPassHz > 0) {
    // Butterworth biquad by the bilinear transform.
    const double k = std::tan(std::numbers::pi * std::min(options.LowPassHz, 0.49 * options.Rate) /
                              options.Rate);
    const double q = std::numbers::sqrt2 / 2;
    const double norm = 1 / (1 + k / q + k * k);
    lowPass_ = {k * k * norm, 2 * k * k * norm, k * k * norm, 2 * (k * k - 1) * norm,
                (1 - k / q + k * k) * norm};
  }
  highPass_ = options.AcCouplingMs > 0 ? (options.AcCouplingMs / 1000) /
                                             (options.AcCouplingMs / 1000 + 1.0 / options.Rate)
                                       : 0;
  block_.reserve(BlockSamples + static_cast<std::size_t>(options.Channels));
  return {};
}

bool AudioRenderer::Add(const std::int32_t* durations, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    units_ += durations[i];
    edges_.push_back(units_ * samplesPerUnit_);
  }
  // A sample needs every edge up to the end of its period.
  return RenderUpTo(edges_.empty() ? 0 : edges_.back(), false);
}

// Renders every sample whose period ends by `end` (or, for the last, every sample up to the
// last edge). The level of run r is low for even r, high for odd.
bool AudioRenderer::RenderUpTo(double end, bool last) {
  const auto total = static_cast<std::uint64_t>(std::ceil(std::max(end, 0.0)));
  for (; written_ && (last ? nextSample_ < total : static_cast<double>(nextSample_) + 0.5 <= end);
       ++nextSample_) {
    // Average level over [n - 0.5, n + 0.5).
    double from = static_cast<double>(nextSample_) - 0.5, to = from + 1, high = 0, silent = 0;
    while (!edges_.empty() && edges_.front() <= from) {
      previousEdge_ = edges_.front();
      edges_.pop_front();
      ++firstRun_;
    }
    std::uint64_t run = firstRun_;
    for (std::size_t r = 0; r < edges_.size() && from < to; ++r, ++run) {
      double until = std::min(edges_[r], to);
      double start = r == 0 ? previousEdge_ : edges_[r - 1];
      if (silentSamples_ > 0 && edges_[r] - start >= silentSamples_) {
        silent += until - from;  // the transmitter is off: neither level
      } else if (run % 2 == 1) {
        high += until - from;
      }
      from = until;
    }
    double value = options_.Amplitude * (2 * high - (1 - silent));
    if (options_.LowPassHz > 0) {
      auto& [x1, x2, y1, y2] = lowPassState_;
      double filtered = lowPass_[0] * value + lowPass_[1] * x1 + lowPass_[2] * x2 -
                        lowPass_[3] * y1 - lowPass_[4] * y2;
      x2 = x1;
      x1 = value;
      y2 = y1;
      y1 = filtered;
      value = filtered;
    }
    if (highPass_ > 0) {
      double filtered = highPass_ * (previousOutput_ + value - previousInput_);
      previousInput_ = value;
      previousOutput_ = filtered;
      value = filtered;
    }
    if (options_.Invert) value = -value;
    value += options_.DcOffset;
    if (options_.HumAmplitude > 0) {
      value += options_.HumAmplitude * std::sin(2 * std::numbers::pi * options_.HumHz *
                                                static_cast<double>(nextSample_) / options_.Rate);
    }
    if (options_.Noise > 0) value += options_.Noise * Gaussian(random_);
    block_.insert(block_.end(), static_cast<std::size_t>(options_.Channels),
                  static_cast<float>(value));
    if (block_.size() >= BlockSamples) written_ = WriteBlock();
  }
  return written_;
}

bool AudioRenderer::WriteBlock() {
  auto frames = static_cast<sf_count_t>(block_.size()) / options_.Channels;
  bool ok = sf_writef_float(sound_, block_.data(), frames) == frames;
  block_.clear();
  return ok;
}

std::string AudioRenderer::Finish() {
  if (sound_ == nullptr) return "no audio file is open";
  RenderUpTo(edges_.empty() ? 0 : edges_.back(), true);
  if (written_ && !block_.empty()) written_ = WriteBlock();
  bool closed = sf_close(sound_) == 0;
  sound_ = nullptr;
  if (!written_ || !closed) {
    file_.Abandon();
    return "cannot write " + file_.Name();
  }
  return {};
}

std::string AudioRenderer::Commit() {
  return file_.Commit();
}
