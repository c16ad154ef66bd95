// Frame fields in, the bits that follow the frame's sync run out.
#include "encode/frame_bits.h"

#include "decoder/pcm_byte_table.h"

void AppendBits(BitStream& bits, std::uint32_t value, std::uint32_t count) {
  for (std::uint32_t i = count; i-- > 0;)
    bits.push_back(static_cast<std::uint8_t>((value >> i) & 1));
}

void AppendFrameHeader(BitStream& bits, int parity, std::uint32_t evenBits) {
  AppendBits(bits, parity == OddFrame ? OddFrameType : EvenFrameType, FrameTypeBits);
  if (parity == EvenFrame) AppendBits(bits, evenBits, EvenExtraBitCount);
}

void AppendSymbol(BitStream& bits, std::uint32_t symbol) {
  AppendBits(bits, pcm_code_words::BySymbol[symbol], CodeWordBits);
}

void AppendFrame(BitStream& bits, const FrameFields& frame) {
  AppendFrameHeader(bits, frame.Parity, frame.EvenBits);
  for (const GroupFields& group : frame.Groups) {
    for (std::uint32_t symbol : JoinGroup(group)) AppendSymbol(bits, symbol);
  }
}
