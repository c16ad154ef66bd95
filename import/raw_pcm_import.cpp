// Raw PCM bytes in, one channel's samples as floats and then capture records out.
#include "import/raw_pcm_import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "files/standard_streams.h"
#include "import/sample_import.h"

namespace {

// Bytes read at once from a file; a live input is read in whatever amounts arrive.
constexpr std::size_t FileBlockBytes = std::size_t{1} << 18;
constexpr std::size_t LiveBlockFrames = 1024;

std::int32_t SignExtend(std::uint32_t value, int bits) {
  std::uint32_t sign = std::uint32_t{1} << (bits - 1);
  return static_cast<std::int32_t>((value ^ sign)) - static_cast<std::int32_t>(sign);
}

// Every raw sample format: its name, its size, and how its bytes are read.
struct RawFormat {
  const char* Name;
  std::size_t Bytes;
  enum Kind { Unsigned, Signed, Float } Is;
  bool BigEndian;
};

constexpr std::array<RawFormat, 12> RawFormats = {{
    {"u8", 1, RawFormat::Unsigned, false},
    {"s8", 1, RawFormat::Signed, false},
    {"s16le", 2, RawFormat::Signed, false},
    {"s16be", 2, RawFormat::Signed, true},
    {"s24le", 3, RawFormat::Signed, false},
    {"s24be", 3, RawFormat::Signed, true},
    {"s32le", 4, RawFormat::Signed, false},
    {"s32be", 4, RawFormat::Signed, true},
    {"f32le", 4, RawFormat::Float, false},
    {"f32be", 4, RawFormat::Float, true},
    {"f64le", 8, RawFormat::Float, false},
    {"f64be", 8, RawFormat::Float, true},
}};

const RawFormat* FindRawFormat(const std::string& name) {
  for (const RawFormat& format : RawFormats) {
    if (name == format.Name) return &format;
  }
  return nullptr;
}

}  // namespace

std::vector<std::string> RawFormatNames() {
  std::vector<std::string> names;
  for (const RawFormat& format : RawFormats) names.emplace_back(format.Name);
  return names;
}

std::size_t RawSampleBytes(const std::string& format) {
  const RawFormat* found = FindRawFormat(format);
  return found != nullptr ? found->Bytes : 0;
}

RawPcmSource::RawPcmSource(int descriptor, const std::string& format, int rate, int channels,
                           int channel, bool live, std::uint64_t mostBytes)
    : descriptor_(descriptor),
      format_(format),
      sampleBytes_(RawSampleBytes(format)),
      frameBytes_(sampleBytes_ * static_cast<std::size_t>(channels)),
      channel_(channel),
      bytesLeft_(mostBytes > 0 ? mostBytes : UINT64_MAX) {
  const RawFormat* found = FindRawFormat(format);
  float_ = found->Is == RawFormat::Float;
  unsigned_ = found->Is == RawFormat::Unsigned;
  bigEndian_ = found->BigEndian;
  Format = "raw " + format;
  Rate = rate;
  Channels = channels;
  Live = live;
  BlockFrames = live ? LiveBlockFrames : std::max<std::size_t>(1, FileBlockBytes / frameBytes_);
  bytes_.resize(BlockFrames * frameBytes_);
}

float RawPcmSource::Sample(const unsigned char* b) const {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < sampleBytes_; ++i) {
    value = value << 8 | b[bigEndian_ ? i : sampleBytes_ - 1 - i];
  }
  const int bits = static_cast<int>(sampleBytes_ * 8);
  if (float_) {
    // The sample guard deals with NaN and infinities.
    if (sampleBytes_ == 8) return static_cast<float>(std::bit_cast<double>(value));
    return std::bit_cast<float>(static_cast<std::uint32_t>(value));
  }
  const double fullScale = std::ldexp(1.0, bits - 1);
  if (unsigned_) return static_cast<float>((static_cast<double>(value) - fullScale) / fullScale);
  return static_cast<float>(SignExtend(static_cast<std::uint32_t>(value), bits) / fullScale);
}

long RawPcmSource::Read(float* mono, std::size_t frames) {
  frames = std::min(frames, BlockFrames);
  for (;;) {
    if (Live && !WaitForInput(descriptor_, Waiting)) return 0;
    if (bytesLeft_ == 0) return 0;  // the samples the header announced have all come
    const std::size_t wanted = static_cast<std::size_t>(
        std::min<std::uint64_t>(frames * frameBytes_ - carried_, bytesLeft_));
    ssize_t got = read(descriptor_, bytes_.data() + carried_, wanted);
    // A signal, or a descriptor opened without blocking: back to waiting, which sees a stop.
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got < 0) {
      error_ = std::strerror(errno);
      return -1;
    }
    if (got == 0) return 0;  // a partial frame at the end is ignored
    bytesLeft_ -= static_cast<std::uint64_t>(got);
    std::size_t have = carried_ + static_cast<std::size_t>(got);
    std::size_t whole = have / frameBytes_;
    const unsigned char* frame =
        bytes_.data() + static_cast<std::size_t>(channel_ - 1) * sampleBytes_;
    for (std::size_t i = 0; i < whole; ++i) mono[i] = Sample(frame + i * frameBytes_);
    carried_ = have - whole * frameBytes_;
    std::memmove(bytes_.data(), bytes_.data() + whole * frameBytes_, carried_);
    if (whole > 0) return static_cast<long>(whole);
  }
}

std::string CheckRawChannel(const AudioImportOptions& audio) {
  if (audio.Channel <= audio.Channels) return {};
  return "channel " + std::to_string(audio.Channel) + " does not exist: the raw input has " +
         std::to_string(audio.Channels) + " channel" + (audio.Channels == 1 ? "" : "s");
}

std::string ImportRawPcm(const ImportRequest& request, ImportSummary& summary) {
  const AudioImportOptions& audio = request.Audio;
  std::string format = audio.RawFormat.empty() ? "s16le" : audio.RawFormat;
  if (RawSampleBytes(format) == 0) return "unknown raw sample format " + format;
  if (std::string error = CheckRawChannel(audio); !error.empty()) return error;
  int descriptor = STDIN_FILENO;
  if (request.Input == "-" && StandardInputClosed()) return "standard input is closed";
  if (request.Input != "-") {
    descriptor = open(request.Input.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return "cannot open " + request.Input + ": " + std::strerror(errno);
  }
  struct stat status {};
  bool live = fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode);
  RawPcmSource source(descriptor, format, audio.Rate, audio.Channels, audio.Channel, live);
  std::string error = ImportSamples(source, request.Input == "-" ? "standard input" : request.Input,
                                    request, summary);
  if (descriptor != STDIN_FILENO) close(descriptor);
  return error;
}
