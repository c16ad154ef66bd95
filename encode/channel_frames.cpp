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

std::vector<FrameFields> FramesFromRows(const std::vector<ChannelRow>& rows, int startParity,
                                        std::uint32_t evenBits) {
  std::vector<FrameFields> frames;
  frames.reserve(rows.size());
  int parity = startParity;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const ChannelRow& now = rows[i];
    const ChannelRow& before = i == 0 ? rows[i] : rows[i - 1];
    FrameFields frame;
    frame.Parity = parity;
    frame.EvenBits = evenBits;
    for (std::uint32_t g = 0; g < GroupsPerFrame; ++g) {
      GroupChannels channels = ChannelsOfGroup(parity, g);
      int d = channels.DeltaChannel - 1;
      frame.Groups[g] = {ExpectedAux[g], DeltaForMove(before[d], now[d]),
                         static_cast<std::uint32_t>(now[channels.PositionChannel - 1]), 0};
    }
    frames.push_back(frame);
    parity = parity == OddFrame ? EvenFrame : OddFrame;
  }
  return frames;
}
