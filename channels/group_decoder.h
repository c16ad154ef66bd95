// Group decoder: the decoder's listener for complete groups in Morvantis.
//
// In: each complete group of four symbols, with its frame parity and its place in the frame.
// Out: its fields assigned to their channels and printed, as a per-group line with the aux check
// (level 3 and above) or through the eight-channel display (level 2 and below).
#pragma once

#include <cstdint>

#include "common/pcm_types.h"

void DecodeGroup(const PcmGroupSymbols& group, int parity, std::uint32_t groupIndex);
