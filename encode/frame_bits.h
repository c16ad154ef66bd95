// Frame encoder: frame fields to the bits that follow the frame's sync run.
//
//   TTTTTT EE CCCCCCCCCC x16     T frame type (000011 ODD, 000000 EVEN)
//                                E two extra bits, EVEN frames only
//                                C code words, four per group, groups 0 to 3
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "channels/group_fields.h"
#include "common/pcm_types.h"

// One bit per element, 0 or 1, in stream order.
using BitStream = std::vector<std::uint8_t>;

struct FrameFields {
  int Parity = OddFrame;
  std::uint32_t EvenBits = 0;  // the two extra bits of an EVEN frame, 0 to 3
  std::array<GroupFields, GroupsPerFrame> Groups{};
};

// Appends the `count` low bits of `value`, most significant first.
void AppendBits(BitStream& bits, std::uint32_t value, std::uint32_t count);

// Appends the frame type (and for EVEN the extra bits) of a frame of `parity`.
void AppendFrameHeader(BitStream& bits, int parity, std::uint32_t evenBits);

// Appends the code word of `symbol` (0 to 63).
void AppendSymbol(BitStream& bits, std::uint32_t symbol);

// Appends a whole frame: header and sixteen code words.
void AppendFrame(BitStream& bits, const FrameFields& frame);
