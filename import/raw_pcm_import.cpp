// Raw PCM bytes in, one channel's samples as floats and then capture records out.
#include "import/raw_pcm_import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "import/sample_import.h"

namespace {

// Bytes read at once from a file; a live input is read in whatever amounts arrive.
constexpr std::size_t FileBlockBytes = std::size_t{1} << 18;
constexpr std::size_t LiveBlockFrames = 1024;

std::int32_t SignExtend(std::uint32_t value, int bits) {
  std::uint32_t sign = std::uint32_t{1} << (bits - 1);
  return static_cast<std::int32_t>((value ^ sign)) - static_cast<std::int32_t>(sign);
}

}  // namespace

std::size_t RawSampleBytes(const std::string& format) {
  if (format == "u8" || format == "s8") return 1;
  if (format == "s16le" || format == "s16be") return 2;
  if (format == "s24le") return 3;
  if (format == "s32le" || format == "f32le") return 4;
  return 0;
}

RawPcmSource::RawPcmSource(int descriptor, const std::string& format, int rate, int channels,
                           int channel, bool live)
    : descriptor_(descriptor),
      format_(format),
      sampleBytes_(RawSampleBytes(format)),
      frameBytes_(sampleBytes_ * static_cast<std::size_t>(channels)),
      channel_(channel) {
  Format = "raw " + format;
  Rate = rate;
  Channels = channels;
  Live = live;
  BlockFrames = live ? LiveBlockFrames : std::max<std::size_t>(1, FileBlockBytes / frameBytes_);
  bytes_.resize(BlockFrames * frameBytes_);
}

float RawPcmSource::Sample(const unsigned char* b) const {
  switch (sampleBytes_) {
    case 1:
      return format_ == "u8" ? (static_cast<float>(b[0]) - 128) / 128
                             : static_cast<float>(static_cast<std::int8_t>(b[0])) / 128;
    case 2: {
      std::uint32_t value = format_ == "s16le" ? b[0] | b[1] << 8 : b[1] | b[0] << 8;
      return static_cast<float>(SignExtend(value, 16)) / 32768;
    }
    case 3:
      return static_cast<float>(SignExtend(b[0] | b[1] << 8 | b[2] << 16, 24)) / 8388608;
    default: {
      std::uint32_t value = std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 |
                            std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24;
      if (format_ == "f32le") {
        float sample;
        std::memcpy(&sample, &value, sizeof sample);
        return sample;  // the sample guard deals with NaN and infinities
      }
      return static_cast<float>(static_cast<double>(static_cast<std::int32_t>(value)) /
                                2147483648.0);
    }
  }
}

long RawPcmSource::Read(float* mono, std::size_t frames) {
  frames = std::min(frames, BlockFrames);
  for (;;) {
    ssize_t got = read(descriptor_, bytes_.data() + carried_, frames * frameBytes_ - carried_);
    if (got < 0 && errno == EINTR) return 0;  // a stop signal: the input ends here
    if (got < 0) {
      error_ = std::strerror(errno);
      return -1;
    }
    if (got == 0) return 0;  // a partial frame at the end is ignored
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

std::string ImportRawPcm(const ImportRequest& request, ImportSummary& summary) {
  const AudioImportOptions& audio = request.Audio;
  std::string format = audio.RawFormat.empty() ? "s16le" : audio.RawFormat;
  if (RawSampleBytes(format) == 0) return "unknown raw sample format " + format;
  if (audio.Channel > audio.Channels) {
    return "channel " + std::to_string(audio.Channel) + " does not exist: the raw input has " +
           std::to_string(audio.Channels) + " channel" + (audio.Channels == 1 ? "" : "s");
  }
  int descriptor = STDIN_FILENO;
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
