// A container's header bytes in; the layout of the samples that follow out.
#include "import/wave_stream.h"

#include <array>
#include <cmath>
#include <cstring>

namespace {

// A header never needs more than this before its samples; more is not a recording.
constexpr std::uint64_t LongestHeader = std::uint64_t{16} << 20;
// Sizes recorders write when they cannot know the length yet (streaming to a pipe).
constexpr std::uint64_t UnknownSizeFrom = 0x7FFFF000;

std::uint32_t LittleEndian(const unsigned char* b, int bytes) {
  std::uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | b[i];
  return value;
}

std::uint32_t BigEndian(const unsigned char* b, int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | b[i];
  return value;
}

std::uint64_t LittleEndian64(const unsigned char* b) {
  return LittleEndian(b, 4) | std::uint64_t{LittleEndian(b + 4, 4)} << 32;
}

bool Is(const unsigned char* bytes, const char* tag) {
  return std::memcmp(bytes, tag, 4) == 0;
}

// Reads through a header a piece at a time, counting what it has read.
class HeaderReader {
 public:
  explicit HeaderReader(const ExactReader& read) : read_(read) {}

  bool Read(unsigned char* into, std::size_t size) {
    read_bytes_ += size;
    return read_bytes_ <= LongestHeader && read_(into, size) == size;
  }
  bool Skip(std::uint64_t size) {
    unsigned char scrap[4096];
    while (size > 0) {
      const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof scrap));
      if (!Read(scrap, part)) return false;
      size -= part;
    }
    return true;
  }

 private:
  const ExactReader& read_;
  std::uint64_t read_bytes_ = 0;
};

// The raw format of integer samples of `bits` (in containers of `bytes`) or floats.
std::string RawFormatOf(bool isFloat, int bits, int bytes, bool bigEndian, bool unsigned8) {
  const std::string order = bigEndian ? "be" : "le";
  if (isFloat) {
    if (bits == 32 && bytes == 4) return "f32" + order;
    if (bits == 64 && bytes == 8) return "f64" + order;
    return {};
  }
  if (bits < 1 || bits > bytes * 8) return {};
  switch (bytes) {
    case 1:
      return unsigned8 ? "u8" : "s8";
    case 2:
      return "s16" + order;
    case 3:
      return "s24" + order;
    case 4:
      return "s32" + order;
    default:
      return {};
  }
}

std::string CheckedLayout(WaveLayout& layout) {
  if (layout.RawFormat.empty()) return "holds samples of a kind that cannot be read as a stream";
  if (layout.Channels < 1) return "announces no channels";
  if (!std::isfinite(layout.Rate) || layout.Rate < 1) return "announces no sample rate";
  return {};
}

// The "fmt " chunk's body: format tag, channels, rate, ..., bits (and the extensible subformat).
std::string ReadWaveFormat(HeaderReader& in, std::uint64_t size, WaveLayout& layout) {
  std::array<unsigned char, 40> body{};
  if (size < 16) return "has a format chunk too short to read";
  const auto kept = static_cast<std::size_t>(std::min<std::uint64_t>(size, body.size()));
  if (!in.Read(body.data(), kept) || !in.Skip(size - kept)) return "ends inside its header";
  std::uint32_t tag = LittleEndian(body.data(), 2);
  layout.Channels = static_cast<int>(LittleEndian(body.data() + 2, 2));
  layout.Rate = LittleEndian(body.data() + 4, 4);
  const auto blockAlign = static_cast<int>(LittleEndian(body.data() + 12, 2));
  const auto bits = static_cast<int>(LittleEndian(body.data() + 14, 2));
  constexpr std::uint32_t Extensible = 0xFFFE, Pcm = 1, IeeeFloat = 3;
  if (tag == Extensible && kept >= 26) tag = LittleEndian(body.data() + 24, 2);
  if (tag != Pcm && tag != IeeeFloat) {
    return "holds compressed samples (format " + std::to_string(tag) + "), not PCM";
  }
  const int bytes = layout.Channels > 0 ? blockAlign / layout.Channels : 0;
  layout.RawFormat = RawFormatOf(tag == IeeeFloat, bits, bytes, false, true);
  return {};
}

std::uint64_t AnnouncedOrUnknown(std::uint64_t size) {
  return size == 0 || size >= UnknownSizeFrom ? 0 : size;
}

std::string ReadRiff(const unsigned char* magic, HeaderReader& in, WaveLayout& layout) {
  const bool rf64 = !Is(magic, "RIFF");
  layout.Container = rf64 ? "RF64" : "WAV";
  std::uint64_t rf64DataSize = 0;
  bool haveFormat = false;
  for (;;) {
    unsigned char chunk[8];
    if (!in.Read(chunk, sizeof chunk)) return "ends before its samples";
    std::uint64_t size = LittleEndian(chunk + 4, 4);
    if (Is(chunk, "data")) {
      if (!haveFormat) return "has its samples before their format";
      layout.DataBytes = rf64 && size == 0xFFFFFFFF ? rf64DataSize : AnnouncedOrUnknown(size);
      return CheckedLayout(layout);
    }
    if (Is(chunk, "fmt ")) {
      if (std::string error = ReadWaveFormat(in, size, layout); !error.empty()) return error;
      haveFormat = true;
      if (size % 2 == 1 && !in.Skip(1)) return "ends inside its header";
      continue;
    }
    if (Is(chunk, "ds64") && size >= 24) {
      unsigned char sizes[24];
      if (!in.Read(sizes, sizeof sizes)) return "ends inside its header";
      rf64DataSize = LittleEndian64(sizes + 8);
      size -= sizeof sizes;
    }
    if (!in.Skip(size + size % 2)) return "ends before its samples";
  }
}

// An 80-bit IEEE extended number (AIFF's sample rate).
double Extended(const unsigned char* b) {
  const int exponent = static_cast<int>(BigEndian(b, 2) & 0x7FFF);
  const double mantissa = static_cast<double>(BigEndian(b + 2, 4)) * 4294967296.0 +
                          static_cast<double>(BigEndian(b + 6, 4));
  if (exponent == 0 && mantissa == 0) return 0;
  return std::ldexp(mantissa, exponent - 16383 - 63) * ((b[0] & 0x80) != 0 ? -1 : 1);
}

std::string ReadAiff(const unsigned char* magic, HeaderReader& in, WaveLayout& layout) {
  const bool compressed = Is(magic + 8, "AIFC");
  layout.Container = compressed ? "AIFF-C" : "AIFF";
  bool haveFormat = false;
  for (;;) {
    unsigned char chunk[8];
    if (!in.Read(chunk, sizeof chunk)) return "ends before its samples";
    std::uint64_t size = BigEndian(chunk + 4, 4);
    if (Is(chunk, "SSND")) {
      unsigned char offsets[8];
      if (!haveFormat) return "has its samples before their format";
      if (size < sizeof offsets || !in.Read(offsets, sizeof offsets))
        return "ends inside its header";
      const std::uint32_t offset = BigEndian(offsets, 4);
      if (!in.Skip(offset)) return "ends before its samples";
      layout.DataBytes = AnnouncedOrUnknown(size);
      if (layout.DataBytes > 0) layout.DataBytes = size >= 8 + offset ? size - 8 - offset : 0;
      return CheckedLayout(layout);
    }
    if (Is(chunk, "COMM")) {
      std::array<unsigned char, 22> body{};
      if (size < 18) return "has a format chunk too short to read";
      const auto kept = static_cast<std::size_t>(std::min<std::uint64_t>(size, body.size()));
      if (!in.Read(body.data(), kept) || !in.Skip(size - kept + size % 2)) {
        return "ends inside its header";
      }
      layout.Channels = static_cast<int>(BigEndian(body.data(), 2));
      const auto bits = static_cast<int>(BigEndian(body.data() + 6, 2));
      layout.Rate = Extended(body.data() + 8);
      bool isFloat = false, bigEndian = true;
      if (compressed) {
        if (kept < 22) return "has a format chunk too short to read";
        const unsigned char* type = body.data() + 18;
        if (Is(type, "sowt")) {
          bigEndian = false;
        } else if (Is(type, "fl32") || Is(type, "FL32") || Is(type, "fl64") || Is(type, "FL64")) {
          isFloat = true;
        } else if (!Is(type, "NONE") && !Is(type, "twos")) {
          return "holds compressed samples (" + std::string(type, type + 4) + "), not PCM";
        }
      }
      layout.RawFormat =
          RawFormatOf(isFloat, bits, isFloat ? bits / 8 : (bits + 7) / 8, bigEndian, false);
      haveFormat = true;
      continue;
    }
    if (!in.Skip(size + size % 2)) return "ends before its samples";
  }
}

std::string ReadWave64(HeaderReader& in, WaveLayout& layout) {
  layout.Container = "W64";
  // The rest of the "riff" GUID, the file's size, the "wave" GUID.
  if (!in.Skip(16 + 8 + 16 - WaveMagicBytes)) return "ends inside its header";
  bool haveFormat = false;
  for (;;) {
    unsigned char chunk[24];
    if (!in.Read(chunk, sizeof chunk)) return "ends before its samples";
    const std::uint64_t size = LittleEndian64(chunk + 16);
    if (size < sizeof chunk) return "has a chunk of an impossible size";
    const std::uint64_t body = size - sizeof chunk, padding = (8 - size % 8) % 8;
    if (Is(chunk, "data")) {
      if (!haveFormat) return "has its samples before their format";
      layout.DataBytes = body >= (std::uint64_t{1} << 62) ? 0 : body;
      return CheckedLayout(layout);
    }
    if (Is(chunk, "fmt ")) {
      if (std::string error = ReadWaveFormat(in, body, layout); !error.empty()) return error;
      haveFormat = true;
      if (!in.Skip(padding)) return "ends inside its header";
      continue;
    }
    if (body > LongestHeader || !in.Skip(body + padding)) return "ends before its samples";
  }
}

}  // namespace

bool IsWaveContainer(const unsigned char* magic) {
  return ((Is(magic, "RIFF") || Is(magic, "RF64") || Is(magic, "BW64")) && Is(magic + 8, "WAVE")) ||
         (Is(magic, "FORM") && (Is(magic + 8, "AIFF") || Is(magic + 8, "AIFC"))) ||
         (Is(magic, "riff") && magic[4] == 0x2E && magic[5] == 0x91 && magic[6] == 0xCF);
}

std::string ReadWaveHeader(const unsigned char* magic, const ExactReader& read,
                           WaveLayout& layout) {
  HeaderReader in(read);
  if (Is(magic, "FORM")) return ReadAiff(magic, in, layout);
  if (Is(magic, "riff")) return ReadWave64(in, layout);
  return ReadRiff(magic, in, layout);
}
