#include "decoder/pending_bits.h"

#include <array>
#include <cstring>

#include "common/text_output.h"

PendingBitsState PendingBits{};

namespace {

// The eight binary digits of every byte value, so a field is written a byte at a time.
constexpr auto ByteDigits = [] {
  std::array<std::array<char, 8>, 256> digits{};
  for (std::uint32_t byte = 0; byte < 256; ++byte) {
    for (std::uint32_t bit = 0; bit < 8; ++bit) {
      digits[byte][bit] = static_cast<char>('0' + ((byte >> (7 - bit)) & 1));
    }
  }
  return digits;
}();

}  // namespace

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
  // The low n bits, moved to the top of the word: all 32 digits are written, the first n kept.
  std::uint32_t aligned = ShiftLeftExact(value, 32 - n);
  char* out = ReserveOutput(32);
  for (std::uint32_t byte = 0; byte < 4; ++byte) {
    std::memcpy(out + 8 * byte, ByteDigits[(aligned >> (24 - 8 * byte)) & 0xFF].data(), 8);
  }
  CommitOutput(n);
  WriteText(suffix);
}
