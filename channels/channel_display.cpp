// Eight-channel display: one group's channel values in, the 40-column line out once 8 slots
// are filled.
#include "channels/channel_display.h"

#include <array>
#include <cstring>
#include <string_view>

#include "channels/channel_messages.h"
#include "common/text_output.h"

namespace {

constexpr ChannelDisplayState StartingDisplay = {{}, {}, true, 0};
constexpr int FilledSlotsForLine = 8;
constexpr auto Unchanged = static_cast<std::int32_t>(UnchangedDelta);

// Every column's text, padded to eight bytes so that a column is written with one store (the
// next column overwrites the padding): "%4d " for each position 0 to 1023, and the delta mark
// by delta + 1 for the empty slot (-1) and every 4-bit delta.
using ColumnText = std::array<char, 8>;
constexpr std::uint32_t ColumnWidth = 5;

constexpr auto PositionColumns = [] {
  std::array<ColumnText, RightAlignedLimit> columns{};
  for (std::uint32_t position = 0; position < RightAlignedLimit; ++position) {
    for (std::uint32_t i = 0; i < 4; ++i) columns[position][i] = RightAligned4[position][i];
    columns[position][4] = ' ';
  }
  return columns;
}();

constexpr std::uint32_t DeltaColumnCount = 32;  // a power of two above the 17 slot values
constexpr auto DeltaColumns = [] {
  std::array<ColumnText, DeltaColumnCount> columns{};
  for (std::uint32_t index = 0; index < DeltaColumnCount; ++index) {
    auto delta = static_cast<std::int32_t>(index) - 1;
    std::string_view mark = delta < Unchanged    ? channel_text::DeltaDown
                            : delta == Unchanged ? channel_text::DeltaSame
                                                 : channel_text::DeltaUp;
    for (std::uint32_t i = 0; i < ColumnWidth; ++i) columns[index][i] = mark[i];
  }
  return columns;
}();

// One column per channel and a line end, written straight into the output buffer (a copy from a
// local buffer would read back stores it cannot forward). A channel with a position shows it,
// otherwise its delta's mark; the choice is a select, not a branch, since deltas vary.
void PrintDisplayLine() {
  constexpr std::size_t LineSize = ChannelCount * ColumnWidth + 1;
  char* line = ReserveOutput(LineSize - 1 + sizeof(ColumnText));
  for (std::uint32_t slot = 0; slot < ChannelCount; ++slot) {
    std::int32_t position = ChannelDisplay.ChannelPositions[slot];
    auto deltaIndex = static_cast<std::uint32_t>(ChannelDisplay.ChannelDeltas[slot] + 1);
    const ColumnText& column =
        position >= 0 ? PositionColumns[static_cast<std::uint32_t>(position) % RightAlignedLimit]
                      : DeltaColumns[deltaIndex % DeltaColumnCount];
    std::memcpy(line + ColumnWidth * slot, column.data(), sizeof column);
  }
  line[LineSize - 1] = '\n';
  CommitOutput(LineSize);
}

// Whether a slot counts as filled: a stored 0 counts as empty, like -1.
int Filled(std::int32_t value) {
  return value > 0 ? 1 : 0;
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
  // Old values are read before anything is stored, so the count stays in a register.
  std::int32_t& positionSlot = ChannelDisplay.ChannelPositions[channels.PositionChannel - 1];
  std::int32_t& deltaSlot = ChannelDisplay.ChannelDeltas[channels.DeltaChannel - 1];
  auto position = static_cast<std::int32_t>(fields.Position);
  auto delta = static_cast<std::int32_t>(fields.Delta);
  int filled = ChannelDisplay.FilledSlots + Filled(position) - Filled(positionSlot) +
               Filled(delta) - Filled(deltaSlot);
  positionSlot = position;
  deltaSlot = delta;
  ChannelDisplay.FilledSlots = filled;
  if (filled < FilledSlotsForLine) return;

  PrintDisplayLine();
  ChannelDisplay.DisplayFresh = true;
}

void ResetChannelDisplay() {
  ChannelDisplay = StartingDisplay;
}
