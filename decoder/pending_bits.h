// Pending-bit accumulator: rebuilds the bit stream from runs and hands out its oldest bits in
// fixed-width fields.
//
//   run of k cells  ->  k bits of the run's level, appended at the low (newest) end
//   TakeBits(n)     ->  the n oldest pending bits, oldest bit most significant
//
// Levels alternate run by run, starting from 0 after every ClearBits(). Only the newest 32
// pending bits are kept; older ones read as 0. Every shift is exact: by 32 or more it gives 0.
#pragma once

#include <cstdint>
#include <string_view>

struct PendingBitsState {
  std::uint32_t BitWord;   // pending bits in the low BitCount bits; above them zeros
  std::uint32_t BitCount;  // number of pending bits, wrapping modulo 2^32
  std::uint32_t RunLevel;  // level of the next run: all zeros or all ones
};

extern PendingBitsState PendingBits;

// Adds `cells` bits of the current level and inverts the level. A negative count (a capture
// value of -4 or less) adds and removes nothing but still inverts the level.
void AppendRun(std::int32_t cells);

// Removes the `n` oldest pending bits (n <= BitCount) and returns them; prints them first
// through PrintBits when `dump` is set.
std::uint32_t TakeBits(std::uint32_t n, bool dump, std::string_view suffix);

// Drops every pending bit and sets the level back to 0.
void ClearBits();

// Prints `n` binary digits of `value`, most significant first (positions 32 and above are "0"),
// then `suffix`. Any `n` is allowed.
void PrintBits(std::uint32_t value, std::uint32_t n, std::string_view suffix);

// The exact shifts and mask the accumulator is built on.
inline std::uint32_t ShiftLeftExact(std::uint32_t word, std::uint32_t places) {
  return places >= 32 ? 0 : word << places;
}
inline std::uint32_t ShiftRightExact(std::uint32_t word, std::uint32_t places) {
  return places >= 32 ? 0 : word >> places;
}
inline std::uint32_t LowBitsMask(std::uint32_t count) {
  return count >= 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << count) - 1;
}
