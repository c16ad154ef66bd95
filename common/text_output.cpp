// The output buffer: texts, digits and cell times in, blocks of text to the sink out.
#include "common/text_output.h"

#include <algorithm>
#include <cstdio>

#include "common/signal_layout.h"

TextOutputState TextOutput{};

namespace {

constexpr char DigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

bool WriteToStandardOutput(const char* data, std::size_t size) {
  return std::fwrite(data, 1, size, stdout) == size;
}

}  // namespace

void DrainOutput() {
  if (TextOutput.Used == 0) return;
  if (!TextOutput.Failed) {
    OutputSink sink = TextOutput.Sink ? TextOutput.Sink : WriteToStandardOutput;
    if (!sink(TextOutput.Buffer, TextOutput.Used)) TextOutput.Failed = true;
  }
  TextOutput.Used = 0;
}

bool FinishOutput() {
  DrainOutput();
  if (TextOutput.Sink == nullptr && (std::fflush(stdout) != 0 || std::ferror(stdout))) {
    TextOutput.Failed = true;
  }
  return !TextOutput.Failed;
}

void SetOutputSink(OutputSink sink) {
  DrainOutput();
  TextOutput.Sink = sink;
}

bool DiscardOutput(const char*, std::size_t) {
  return true;
}

void WriteLongText(std::string_view text) {
  while (!text.empty()) {
    std::size_t part = std::min(text.size(), OutputBufferSize);
    std::memcpy(ReserveOutput(part), text.data(), part);
    CommitOutput(part);
    text.remove_prefix(part);
  }
}

void WriteRepeated(char c, std::uint64_t count) {
  while (count > 0) {
    std::size_t room = OutputBufferSize - TextOutput.Used;
    if (room == 0) {
      DrainOutput();
      room = OutputBufferSize;
    }
    std::size_t part = count < room ? static_cast<std::size_t>(count) : room;
    std::memset(TextOutput.Buffer + TextOutput.Used, c, part);
    CommitOutput(part);
    count -= part;
  }
}

void WriteInt(std::int64_t value, int width, char pad) {
  // Magnitude as unsigned, so the most negative value needs no special case.
  std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  // Digits from the lowest, two at a time.
  char digits[20];
  int digitCount = 0;
  while (magnitude >= 100) {
    const char* pair = DigitPairs + 2 * (magnitude % 100);
    magnitude /= 100;
    digits[digitCount++] = pair[1];
    digits[digitCount++] = pair[0];
  }
  digits[digitCount++] = static_cast<char>('0' + magnitude % 10);
  if (magnitude >= 10) digits[digitCount++] = static_cast<char>('0' + magnitude / 10);

  int length = digitCount + (value < 0 ? 1 : 0);
  int padding = std::max(0, width - length);
  char* out = ReserveOutput(static_cast<std::size_t>(length + padding));
  char* start = out;
  // printf puts the sign before zero padding but after space padding.
  if (pad == '0') {
    if (value < 0) *out++ = '-';
    for (int i = 0; i < padding; ++i) *out++ = '0';
  } else {
    for (int i = 0; i < padding; ++i) *out++ = ' ';
    if (value < 0) *out++ = '-';
  }
  while (digitCount > 0) *out++ = digits[--digitCount];
  CommitOutput(static_cast<std::size_t>(out - start));
}

void WriteCellTime(std::uint32_t cells) {
  // "%06.02f": the whole milliseconds zero-padded to at least three digits, the point and two
  // decimals. Written straight into the output buffer from the last digit back (built in a local
  // buffer and copied, the copy would read back stores it cannot forward).
  std::uint64_t hundredths = std::uint64_t{cells} * HundredthsOfMsPerCell;
  std::uint64_t whole = hundredths / 100;
  std::size_t digits = 3;
  for (std::uint64_t limit = 1000; whole >= limit; limit *= 10) ++digits;
  char* const out = ReserveOutput(digits + 3);
  std::memcpy(out + digits + 1, DigitPairs + 2 * (hundredths % 100), 2);
  out[digits] = '.';
  char* next = out + digits;
  for (; next - out >= 2; whole /= 100) {
    next -= 2;
    std::memcpy(next, DigitPairs + 2 * (whole % 100), 2);
  }
  if (next > out) *--next = static_cast<char>('0' + whole % 10);
  CommitOutput(digits + 3);
}
