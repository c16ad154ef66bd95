#include "channels/channel_display.h"

#include "channels/channel_messages.h"
#include "common/text_output.h"

namespace {

constexpr ChannelDisplayState StartingDisplay = {{}, {}, true};
constexpr int FilledSlotsForLine = 8;
constexpr std::int32_t UnchangedDelta = 8;

void PrintDisplayLine() {
  for (std::uint32_t slot = 0; slot < ChannelCount; ++slot) {
    std::int32_t position = ChannelDisplay.ChannelPositions[slot];
    std::int32_t delta = ChannelDisplay.ChannelDeltas[slot];
    if (position >= 0) {
      WriteInt(position, 4, ' ');
      WriteChar(' ');
    } else if (delta < UnchangedDelta) {
      WriteText(channel_text::DeltaDown);
    } else if (delta == UnchangedDelta) {
      WriteText(channel_text::DeltaSame);
    } else {
      WriteText(channel_text::DeltaUp);
    }
  }
  WriteChar('\n');
}

}  // namespace

ChannelDisplayState ChannelDisplay = StartingDisplay;

void ShowOnDisplay(const GroupChannels& channels, const GroupFields& fields) {
  if (ChannelDisplay.DisplayFresh) {
    ChannelDisplay.DisplayFresh = false;
    ChannelDisplay.ChannelPositions.fill(-1);
    ChannelDisplay.ChannelDeltas.fill(-1);
  }
  ChannelDisplay.ChannelPositions[channels.PositionChannel - 1] =
      static_cast<std::int32_t>(fields.Position);
  ChannelDisplay.ChannelDeltas[channels.DeltaChannel - 1] = static_cast<std::int32_t>(fields.Delta);

  // A stored 0 counts as empty, like -1.
  int filled = 0;
  for (std::uint32_t slot = 0; slot < ChannelCount; ++slot) {
    filled += ChannelDisplay.ChannelPositions[slot] > 0;
    filled += ChannelDisplay.ChannelDeltas[slot] > 0;
  }
  if (filled < FilledSlotsForLine) return;

  PrintDisplayLine();
  ChannelDisplay.DisplayFresh = true;
}

void ResetChannelDisplay() {
  ChannelDisplay = StartingDisplay;
}
