// Channel values to frames. Frames alternate ODD and EVEN; each carries the positions of its
// four position channels and, for the other four, a delta that tells how the channel moved
// since the previous frame:
//
//   delta = 8 + clamp(value now - value in the previous frame, -7, +7)
//
// so 8 is unchanged, 1 to 7 went down and 9 to 15 went up (the first frame's deltas are 8).
// aux follows the expected 2, 0, 2, 0; ecc is written as 0, its code being unknown.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "encode/frame_bits.h"

// Position of channels 1 to 8 (index 0 to 7) in one frame.
using ChannelRow = std::array<std::int32_t, ChannelCount>;

// The delta that stands for a move from `before` to `now`.
std::uint32_t DeltaForMove(std::int32_t before, std::int32_t now);

// Rows to frames one at a time: each row becomes the next frame, parities alternating.
class FrameMaker {
 public:
  FrameMaker(int startParity, std::uint32_t evenBits) : parity_(startParity), evenBits_(evenBits) {}

  // The frame for `row` (positions 0 to 1023); its deltas tell the move since the previous row.
  FrameFields Next(const ChannelRow& row);

 private:
  int parity_;
  std::uint32_t evenBits_;
  bool first_ = true;
  ChannelRow before_{};
};

// One frame per row, the first of `startParity`. Rows must hold positions 0 to 1023.
std::vector<FrameFields> FramesFromRows(const std::vector<ChannelRow>& rows, int startParity,
                                        std::uint32_t evenBits);
