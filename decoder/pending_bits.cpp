#include "decoder/pending_bits.h"

#include "common/text_output.h"

PendingBitsState PendingBits{};

void AppendRun(std::int32_t cells) {
  if (cells > 0) {
    auto count = static_cast<std::uint32_t>(cells);
    PendingBits.BitWord =
        ShiftLeftExact(PendingBits.BitWord, count) | (PendingBits.RunLevel & LowBitsMask(count));
    PendingBits.BitCount += count;
  }
  PendingBits.RunLevel = ~PendingBits.RunLevel;
}

std::uint32_t TakeBits(std::uint32_t n, bool dump, std::string_view suffix) {
  std::uint32_t remaining = PendingBits.BitCount - n;
  std::uint32_t value = ShiftRightExact(PendingBits.BitWord, remaining);
  PendingBits.BitWord &= LowBitsMask(remaining);
  PendingBits.BitCount = remaining;
  if (dump) PrintBits(value, n, suffix);
  return value;
}

void ClearBits() {
  PendingBits = {};
}

void PrintBits(std::uint32_t value, std::uint32_t n, std::string_view suffix) {
  // A flush after a long idle stretch can ask for millions of digits; all but the last 32 are 0.
  if (n > 32) {
    WriteRepeated('0', n - 32);
    n = 32;
  }
  char* out = ReserveOutput(n);
  for (std::uint32_t i = 0; i < n; ++i) {
    out[i] = static_cast<char>('0' + ((value >> (n - 1 - i)) & 1));
  }
  CommitOutput(n);
  WriteText(suffix);
}
