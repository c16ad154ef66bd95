#include "capture/frame_bits.h"

#include "capture/code_word_encoder.h"

namespace {

constexpr std::uint32_t FrameTypeBits = 6;
constexpr std::uint32_t OddFrameType = 3;
constexpr std::uint32_t EvenFrameType = 0;
constexpr std::uint32_t ExtraBits = 2;

}  // namespace

void AppendBits(BitStream& bits, std::uint32_t value, std::uint32_t count) {
  for (std::uint32_t i = count; i-- > 0;)
    bits.push_back(static_cast<std::uint8_t>((value >> i) & 1));
}

void AppendFrameHeader(BitStream& bits, int parity, std::uint32_t evenBits) {
  AppendBits(bits, parity == OddFrame ? OddFrameType : EvenFrameType, FrameTypeBits);
  if (parity == EvenFrame) AppendBits(bits, evenBits, ExtraBits);
}

void AppendSymbol(BitStream& bits, std::uint32_t symbol) {
  AppendBits(bits, SymbolCodeWords[symbol], CodeWordBits);
}

void AppendFrame(BitStream& bits, const FrameFields& frame) {
  AppendFrameHeader(bits, frame.Parity, frame.EvenBits);
  for (const GroupFields& group : frame.Groups) {
    for (std::uint32_t symbol : JoinGroup(group)) AppendSymbol(bits, symbol);
  }
}
