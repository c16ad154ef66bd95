// The signal, as every stage sees it: how long a bit cell is, how a capture counts time, how a
// frame is laid out and what its channel values can be. The decoder, the encoder, the importers
// and the study tools all take these numbers from here.
//
//   sync     one run of exactly 18 cells opens every frame
//   frame    TTTTTT EE CCCCCCCCCC x16     T frame type, E extra bits (EVEN only), C code words
//   group    four code words, four symbols: aux (2 bits) delta (4) position (10) ecc (8)
#pragma once

#include <cstdint>

// Time. A capture counts time in units; 6.623 units make one bit cell of 0.15 ms.
inline constexpr double UnitsPerCell = 6.623;
inline constexpr double MillisecondsPerCell = 0.15;
inline constexpr double CellScale = 1.0 / UnitsPerCell;  // bit cells per capture unit
inline constexpr double UnitsPerSecond = UnitsPerCell / (MillisecondsPerCell / 1000);
// A cell is a whole number of hundredths of a millisecond, so cell times print exactly.
inline constexpr std::uint32_t HundredthsOfMsPerCell = 15;
static_assert(HundredthsOfMsPerCell == MillisecondsPerCell * 100);

inline constexpr std::int32_t SyncCells = 18;

// Frame layout after the sync run.
inline constexpr std::uint32_t FrameTypeBits = 6;
inline constexpr std::uint32_t OddFrameType = 3;   // 000011
inline constexpr std::uint32_t EvenFrameType = 0;  // 000000
inline constexpr std::uint32_t EvenExtraBitCount = 2;
inline constexpr std::uint32_t CodeWordBits = 10;
inline constexpr std::uint32_t SymbolBits = 6;
inline constexpr std::uint32_t SymbolsPerGroup = 4;
inline constexpr std::uint32_t GroupsPerFrame = 4;
inline constexpr std::uint32_t CodeWordsPerFrame = SymbolsPerGroup * GroupsPerFrame;
// No run inside a valid frame is longer than this (symbol 8 followed by symbol 0).
inline constexpr std::int32_t LongestRunInFrame = 15;

// Channel values.
inline constexpr std::uint32_t ChannelCount = 8;
inline constexpr std::int32_t MaxPosition = 1023;   // positions are 10 bits
inline constexpr std::uint32_t UnchangedDelta = 8;  // deltas below went down, above went up
