// Pending-bit accumulator: runs of cells in, fixed-width fields of the oldest bits out.
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

// Runs inside frames are short and the count far from wrapping; that case needs no exact shifts.
constexpr std::uint32_t ShortRunLimit = 32;
constexpr std::uint32_t CountFarFromWrapping = std::uint32_t{1} << 31;

}  // namespace

void AppendRun(std::int32_t cells) {
  auto count = static_cast<std::uint32_t>(cells);
  if (count < ShortRunLimit && PendingBits.BitCount < CountFarFromWrapping) {
    std::uint32_t newBits = (std::uint32_t{1} << count) - 1;
    PendingBits.BitWord = (PendingBits.BitWord << count) | (PendingBits.RunLevel & newBits);
    PendingBits.BitCount += count;
  } else if (cells > 0) {
    PendingBits.BitWord =
        ShiftLeftExact(PendingBits.BitWord, count) | (PendingBits.RunLevel & LowBitsMask(count));
    PendingBits.BitCount += count;
    // After the count wraps past 2^32 the word may hold more bits than are counted; dropping
    // them keeps every field taken within its width.
    PendingBits.BitWord &= LowBitsMask(PendingBits.BitCount);
  }
  PendingBits.RunLevel = ~PendingBits.RunLevel;
}

std::uint32_t TakeBits(std::uint32_t n, bool dump, std::string_view suffix) {
  std::uint32_t remaining = PendingBits.BitCount - n;
  std::uint32_t value;
  if (remaining < 32) {
    value = PendingBits.BitWord >> remaining;
    PendingBits.BitWord &= (std::uint32_t{1} << remaining) - 1;
  } else {
    value = 0;  // the oldest pending bits lie above the newest 32 kept, so they read as 0
  }
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
  if (suffix.size() > OutputBufferSize / 2) {  // no caller does this; keep it correct anyway
    PrintBits(value, n, "");
    return WriteText(suffix);
  }
  char* out = ReserveOutput(32 + suffix.size());
  for (std::uint32_t byte = 0; byte < 4; ++byte) {
    std::memcpy(out + 8 * byte, ByteDigits[(aligned >> (24 - 8 * byte)) & 0xFF].data(), 8);
  }
  std::memcpy(out + n, suffix.data(), suffix.size());
  CommitOutput(n + suffix.size());
}
