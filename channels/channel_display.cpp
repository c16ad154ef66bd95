#include "channels/channel_display.h"

#include <cstring>
#include <string_view>

#include "channels/channel_messages.h"
#include "common/text_output.h"

namespace {

constexpr ChannelDisplayState StartingDisplay = {{}, {}, true, 0};
constexpr int FilledSlotsForLine = 8;
constexpr std::int32_t UnchangedDelta = 8;

// One five-character column per channel and a line end, built in place and written at once.
// Positions come from 10-bit fields, so "%4d " always fits its column and the table holds it.
void PrintDisplayLine() {
  char line[ChannelCount * 5 + 1];
  for (std::uint32_t slot = 0; slot < ChannelCount; ++slot) {
    char* column = line + 5 * slot;
    std::int32_t position = ChannelDisplay.ChannelPositions[slot];
    std::int32_t delta = ChannelDisplay.ChannelDeltas[slot];
    if (position >= 0) {
      std::memcpy(column,
                  RightAligned4[static_cast<std::uint32_t>(position) % RightAlignedLimit].data(),
                  4);
      column[4] = ' ';
    } else {
      std::string_view mark = delta < UnchangedDelta    ? channel_text::DeltaDown
                              : delta == UnchangedDelta ? channel_text::DeltaSame
                                                        : channel_text::DeltaUp;
      std::memcpy(column, mark.data(), 5);
    }
  }
  line[ChannelCount * 5] = '\n';
  WriteText({line, sizeof line});
}

// Stores `value` in `slot`, keeping the count of slots above 0 (a stored 0 counts as empty).
void Store(std::int32_t& slot, std::int32_t value) {
  ChannelDisplay.FilledSlots += (value > 0) - (slot > 0);
  slot = value;
}

}  // namespace

ChannelDisplayState ChannelDisplay = StartingDisplay;

void ShowOnDisplay(const GroupChannels& channels, const GroupFields& fields) {
  if (ChannelDisplay.DisplayFresh) {
    ChannelDisplay.DisplayFresh = false;
    ChannelDisplay.ChannelPositions.fill(-1);
    ChannelDisplay.ChannelDeltas.fill(-1);
    ChannelDisplay.FilledSlots = 0;
  }
  Store(ChannelDisplay.ChannelPositions[channels.PositionChannel - 1],
        static_cast<std::int32_t>(fields.Position));
  Store(ChannelDisplay.ChannelDeltas[channels.DeltaChannel - 1],
        static_cast<std::int32_t>(fields.Delta));
  if (ChannelDisplay.FilledSlots < FilledSlotsForLine) return;

  PrintDisplayLine();
  ChannelDisplay.DisplayFresh = true;
}

void ResetChannelDisplay() {
  ChannelDisplay = StartingDisplay;
}
