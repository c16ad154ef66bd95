// Group consumer: splits each complete group into its fields, assigns them to their channels
// and prints them, as a per-group line with the aux check (level 3 and above) or through the
// eight-channel display (level 2 and below).
#pragma once

#include <cstdint>

#include "common/pcm_types.h"

void DecodeGroup(const PcmGroupSymbols& group, int parity, std::uint32_t groupIndex);
