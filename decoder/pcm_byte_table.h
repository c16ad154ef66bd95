// Code-word table: each 6-bit symbol travels as a 10-bit code word ("PCM byte"), first-received
// bit most significant. Only 64 of the 1024 words are valid; the rest mark a damaged frame.
//
// The valid words are those made only of runs of two or more equal bits, less 0000000000,
// 0000000011, 1111111100 and 1111111111, so every valid word holds a level change. Which symbol
// a word carries follows no rule: the list below is the whole definition, and everything else
// (the lookup table here; the encoder reads the list itself) is derived from it.
#pragma once

#include <array>
#include <cstdint>

#include "common/signal_layout.h"

inline constexpr std::int32_t InvalidCodeWord = -1;

namespace pcm_code_words {

// Code word of every symbol, indexed by symbol.
inline constexpr std::array<std::uint16_t, 64> BySymbol = {
    0b1111111000, 0b1111110011, 0b1111100011, 0b1111100111,  // 0 - 3
    0b1111000111, 0b1111001111, 0b1110001111, 0b1110011111,  // 4 - 7
    0b0011111111, 0b0001111111, 0b0000111111, 0b1100111111,  // 8 - 11
    0b1100011111, 0b1100001111, 0b1110000111, 0b1111000011,  // 12 - 15
    0b0011111100, 0b0011110011, 0b0011100111, 0b0011001111,  // 16 - 19
    0b1111001100, 0b1110011100, 0b1100111100, 0b1100110011,  // 20 - 23
    0b1111110000, 0b1111100000, 0b1110000011, 0b1100000111,  // 24 - 27
    0b1100011100, 0b1110011000, 0b1110001100, 0b1100111000,  // 28 - 31
    0b0011000111, 0b0001110011, 0b0001100111, 0b0011100011,  // 32 - 35
    0b0011111000, 0b0001111100, 0b0000011111, 0b0000001111,  // 36 - 39
    0b0011001100, 0b0011000011, 0b0001100011, 0b0000110011,  // 40 - 43
    0b1100110000, 0b1100011000, 0b1100001100, 0b1100000011,  // 44 - 47
    0b0000111100, 0b0001111000, 0b0011110000, 0b0011100000,  // 48 - 51
    0b0011000000, 0b1111000000, 0b1110000000, 0b1100000000,  // 52 - 55
    0b0001100000, 0b0001110000, 0b0000110000, 0b0000111000,  // 56 - 59
    0b0000011000, 0b0000011100, 0b0000001100, 0b0000000111,  // 60 - 63
};

constexpr std::array<std::int32_t, 1024> BuildLookup() {
  std::array<std::int32_t, 1024> table{};
  for (auto& entry : table) entry = InvalidCodeWord;
  for (std::size_t symbol = 0; symbol < BySymbol.size(); ++symbol) {
    table[BySymbol[symbol]] = static_cast<std::int32_t>(symbol);
  }
  return table;
}

}  // namespace pcm_code_words

// Symbol of every 10-bit code word, or InvalidCodeWord.
inline constexpr std::array<std::int32_t, 1024> PcmByteTable = pcm_code_words::BuildLookup();
