// Every line the decoder prints goes through one large buffer, so printing a bit, a number or a
// whole line costs a few stores rather than a library call. The buffer is handed to a sink when
// full and at the end; the sink is standard output unless a caller (a test, a companion tool)
// installs its own. A sink that fails once marks the output as failed for good.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// Receives a block of text; returns false when it could not be written.
using OutputSink = bool (*)(const char* data, std::size_t size);

inline constexpr std::size_t OutputBufferSize = std::size_t{1} << 16;

struct TextOutputState {
  char Buffer[OutputBufferSize];
  std::size_t Used;
  OutputSink Sink;  // nullptr: standard output
  bool Failed;
};

extern TextOutputState TextOutput;

// Hands the buffered text to the sink and empties the buffer.
void DrainOutput();

// Drains the buffer and, for standard output, flushes the stream. Returns false when any write
// so far has failed.
bool FinishOutput();

// The same, while more is to come: everything printed so far reaches its reader now (a stream
// being decoded is about to wait for input).
inline bool HandOutputOn() {
  return FinishOutput();
}

// Installs a sink (nullptr for standard output), dropping nothing already buffered.
void SetOutputSink(OutputSink sink);

// A sink that throws every text away, for callers that only want the decoder's side effects.
bool DiscardOutput(const char* data, std::size_t size);

// Room for at least `size` more bytes (size <= OutputBufferSize); returns where to write them.
inline char* ReserveOutput(std::size_t size) {
  if (OutputBufferSize - TextOutput.Used < size) DrainOutput();
  return TextOutput.Buffer + TextOutput.Used;
}

inline void CommitOutput(std::size_t size) {
  TextOutput.Used += size;
}

inline void WriteChar(char c) {
  *ReserveOutput(1) = c;
  CommitOutput(1);
}

void WriteLongText(std::string_view text);

inline void WriteText(std::string_view text) {
  if (text.size() > OutputBufferSize / 2) return WriteLongText(text);
  std::memcpy(ReserveOutput(text.size()), text.data(), text.size());
  CommitOutput(text.size());
}

// `count` copies of `c`; any count, written block by block.
void WriteRepeated(char c, std::uint64_t count);

// Every value 0 to 1023 as printf's "%4d" prints it. Its last `w` characters are "%<w>d" for any
// value below 10^w. Every field of the per-group and display lines is below 1024 (the widest is
// a 10-bit position), so those lines are filled from this table in a local buffer and written
// at once.
inline constexpr std::uint32_t RightAlignedLimit = 1024;
inline constexpr auto RightAligned4 = [] {
  std::array<std::array<char, 4>, RightAlignedLimit> table{};
  for (std::uint32_t value = 0; value < RightAlignedLimit; ++value) {
    std::uint32_t rest = value;
    for (int i = 3; i >= 0; --i) {
      table[value][i] = (rest > 0 || i == 3) ? static_cast<char>('0' + rest % 10) : ' ';
      rest /= 10;
    }
  }
  return table;
}();

// An integer as printf's "%<width>d" (pad ' ') or "%0<width>d" (pad '0') prints it.
void WriteInt(std::int64_t value, int width, char pad);

// A time of `cells` bit cells in milliseconds, as printf's "%06.02f" prints cells x 0.15.
// Every such time is a whole number of hundredths, so integers give it exactly.
void WriteCellTime(std::uint32_t cells);
