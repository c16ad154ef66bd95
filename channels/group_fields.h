// A group's 24 bits and the two channels they belong to.
//
//   symbols  s0      s1      s2      s3
//   bits     AADDDD PPPPPP PPPPEE EEEEEE
//   A aux (2 bits)   D delta (4)   P position (10)   E ecc (8)
//
// Groups 0 to 3 of a frame carry the channel pairs (1,2), (3,4), (5,6), (7,8). An ODD frame
// puts the first channel's position and the second's delta in a group, an EVEN frame the other
// way round.
#pragma once

#include <array>
#include <cstdint>

#include "common/pcm_types.h"

struct GroupFields {
  std::uint32_t Aux;       // 0 to 3; expected 2, 0, 2, 0 for groups 0 to 3
  std::uint32_t Delta;     // 0 to 15; 8 means unchanged
  std::uint32_t Position;  // 0 to 1023
  std::uint32_t Ecc;       // 0 to 255; never checked
};

struct GroupChannels {
  int PositionChannel;  // 1 to 8
  int DeltaChannel;     // 1 to 8
};

inline constexpr std::array<std::array<int, 2>, GroupsPerFrame> ChannelPairTable = {
    {{1, 2}, {3, 4}, {5, 6}, {7, 8}}};
inline constexpr std::array<std::uint32_t, GroupsPerFrame> ExpectedAux = {2, 0, 2, 0};

inline GroupFields SplitGroup(const PcmGroupSymbols& s) {
  return {s[0] / 16, s[0] % 16, s[1] * 16 + s[2] / 4, (s[2] % 4) * 64 + s[3]};
}

// The symbols that SplitGroup turns into `fields` (each field within its width).
inline PcmGroupSymbols JoinGroup(const GroupFields& f) {
  return {f.Aux * 16 + f.Delta, f.Position / 16, (f.Position % 16) * 4 + f.Ecc / 64, f.Ecc % 64};
}

inline GroupChannels ChannelsOfGroup(int parity, std::uint32_t groupIndex) {
  const auto& pair = ChannelPairTable[groupIndex];
  return parity == OddFrame ? GroupChannels{pair[0], pair[1]} : GroupChannels{pair[1], pair[0]};
}
