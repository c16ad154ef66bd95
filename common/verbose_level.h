// How much the decoder prints, chosen once on the command line and read by every stage.
//   2 and below: eight-channel lines (2 adds unknown frame types and frame end times)
//   3:           one line per sync, frame type and group, with the aux check
//   4 and above: also every bit taken from the stream and every decoded symbol
#pragma once

#include <cstdint>

extern std::int32_t VerboseLevel;
