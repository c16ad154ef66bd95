// Level 4 shows every valid code word's symbol as six binary digits after the word's own digits.
#pragma once

#include <cstdint>

#include "common/text_output.h"
#include "decoder/decoder_messages.h"
#include "decoder/pcm_byte_table.h"
#include "decoder/pending_bits.h"

inline void PrintSymbol(std::int32_t symbol) {
  WriteText(decoder_text::PcmByteSymbol);
  PrintBits(static_cast<std::uint32_t>(symbol), SymbolBits, "\n");
}
