// Eight-channel display (levels 2 and below): keeps the latest position and delta of every
// channel and prints one line of eight five-character columns once 8 of the 16 slots hold a
// value above 0. A column shows the channel's position, or else its delta as D (below 8),
// - (8, unchanged) or U (above 8). After a line the next store starts from empty slots.
#pragma once

#include <array>
#include <cstdint>

#include "channels/group_fields.h"

struct ChannelDisplayState {
  std::array<std::int32_t, ChannelCount> ChannelPositions;  // -1: empty
  std::array<std::int32_t, ChannelCount> ChannelDeltas;     // -1: empty
  bool DisplayFresh;  // the next store empties both tables first
  int FilledSlots;    // slots of both tables that hold a value above 0
};

extern ChannelDisplayState ChannelDisplay;

// Stores one group's values and prints the line when enough slots are filled.
void ShowOnDisplay(const GroupChannels& channels, const GroupFields& fields);

// Back to the starting state (tests and fuzzing only).
void ResetChannelDisplay();
