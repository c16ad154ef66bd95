// Rows of channel positions in, frame fields out (positions and deltas by parity).
#include "encode/channel_frames.h"

#include <algorithm>

namespace {

constexpr std::int32_t LargestStep = 7;

}  // namespace

std::uint32_t DeltaForMove(std::int32_t before, std::int32_t now) {
  return static_cast<std::uint32_t>(static_cast<std::int32_t>(UnchangedDelta) +
                                    std::clamp(now - before, -LargestStep, LargestStep));
}

FrameFields FrameMaker::Next(const ChannelRow& now) {
  const ChannelRow& before = first_ ? now : before_;
  FrameFields frame;
  frame.Parity = parity_;
  frame.EvenBits = evenBits_;
  for (std::uint32_t g = 0; g < GroupsPerFrame; ++g) {
    GroupChannels channels = ChannelsOfGroup(parity_, g);
    auto d = static_cast<std::size_t>(channels.DeltaChannel - 1);
    frame.Groups[g] = {
        ExpectedAux[g], DeltaForMove(before[d], now[d]),
        static_cast<std::uint32_t>(now[static_cast<std::size_t>(channels.PositionChannel - 1)]), 0};
  }
  before_ = now;
  first_ = false;
  parity_ = parity_ == OddFrame ? EvenFrame : OddFrame;
  return frame;
}

std::vector<FrameFields> FramesFromRows(const std::vector<ChannelRow>& rows, int startParity,
                                        std::uint32_t evenBits) {
  FrameMaker maker(startParity, evenBits);
  std::vector<FrameFields> frames;
  frames.reserve(rows.size());
  for (const ChannelRow& row : rows) frames.push_back(maker.Next(row));
  return frames;
}
