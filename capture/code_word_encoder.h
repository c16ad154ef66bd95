// Symbol to code word: the decoder's code-word table read backwards, so both directions come
// from the one table.
#pragma once

#include <array>
#include <cstdint>

#include "decoder/pcm_byte_table.h"

namespace code_word_encoder {

constexpr std::array<std::uint16_t, 64> InvertPcmByteTable() {
  std::array<std::uint16_t, 64> words{};
  for (std::uint32_t code = 0; code < PcmByteTable.size(); ++code) {
    if (PcmByteTable[code] != InvalidCodeWord) {
      words[static_cast<std::size_t>(PcmByteTable[code])] = static_cast<std::uint16_t>(code);
    }
  }
  return words;
}

}  // namespace code_word_encoder

// Code word of each symbol 0 to 63.
inline constexpr std::array<std::uint16_t, 64> SymbolCodeWords =
    code_word_encoder::InvertPcmByteTable();
