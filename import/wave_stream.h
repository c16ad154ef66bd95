// The headers of WAV, RF64, AIFF, AIFF-C and Wave64 recordings, read from a stream. In: the
// stream's bytes up to the start of its samples, read through a function that reads exactly
// what is asked (short only at the end of the input). Out: the samples' layout (raw format,
// rate, channels) and how many bytes of them the header announces, so the samples themselves
// are read as raw PCM while they arrive, however long the stream and whatever the header
// claims about its length (a recorder writing to a pipe cannot know it yet).
//
//   WAV   "RIFF" size "WAVE" { id size(LE) body } ... "data" size samples   (RF64: sizes in "ds64")
//   AIFF  "FORM" size "AIFF" { id size(BE) body } ... "SSND" size offset block samples
//   W64   "riff" GUID size(8) "wave" GUID { GUID size(8, header included) body, 8-aligned } ...
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Reads exactly `size` bytes into `into`; returns fewer only at the end of the input.
using ExactReader = std::function<std::size_t(unsigned char* into, std::size_t size)>;

// How many bytes the header's first piece takes: enough to tell the container.
inline constexpr std::size_t WaveMagicBytes = 12;

struct WaveLayout {
  std::string Container;  // "WAV", "RF64", "AIFF", "AIFF-C", "W64"
  std::string RawFormat;  // as --raw names it: s16le, f32be, ...
  double Rate = 0;        // samples per second
  int Channels = 0;
  std::uint64_t DataBytes = 0;  // the samples' length the header announces; 0: until the end
};

// Whether the first WaveMagicBytes bytes open a container read here.
bool IsWaveContainer(const unsigned char* magic);

// Reads the rest of the header (the first WaveMagicBytes bytes are given) up to the first byte
// of the samples. Returns an error text (what is wrong or not supported), empty on success.
std::string ReadWaveHeader(const unsigned char* magic, const ExactReader& read, WaveLayout& layout);
