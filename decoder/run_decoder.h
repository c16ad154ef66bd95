// Run decoder: the frame state machine between the capture's runs and the groups of symbols.
//
// In: one run duration per call, with its polarity label. Out: complete groups of four symbols
// (handed to the group consumer) and the decoder's report lines.
//
// Frame layout after its 18-cell sync run, one letter per bit in stream order:
//
//   TTTTTT EE CCCCCCCCCC CCCCCCCCCC ... (16 code words)
//   T  frame type: 000011 is ODD, 000000 is EVEN, anything else is unknown
//   E  two extra bits, EVEN frames only; their meaning is not known and they are not used
//   C  code word: words 1-4 form group 0, 5-8 group 1, 9-12 group 2, 13-16 group 3
//
// An ODD frame is 166 bits, an EVEN frame 168. No run inside a valid frame is longer than 15
// cells and every valid code word holds a level change, so one code word per run keeps up.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/pcm_types.h"

enum DecoderStateValue : std::uint8_t {
  SeekSync = 0,        // waiting for a run of exactly 18 cells
  FrameTypeField = 1,  // waiting for the 6-bit frame type
  EvenExtraBits = 2,   // EVEN frame: waiting for the 2 extra bits
  PcmBytes = 255,      // reading the frame's 16 code words
};

struct RunDecoderState {
  DecoderStateValue DecoderState;
  std::uint32_t CellTotal;    // cells of every run so far, syncs included; wraps modulo 2^32
  std::int32_t SyncCount;     // SYNC lines printed so far; wraps like a 32-bit counter
  int FrameParity;            // OddFrame or EvenFrame
  PcmGroupSymbols PcmGroup;   // symbols of the group being filled
  std::uint32_t SymbolIndex;  // slot of PcmGroup for the next symbol, 0 to 3
  std::uint32_t GroupIndex;   // next group of the frame, 0 to 3; 4 after the frame's end
};

extern RunDecoderState RunDecoder;

// Receives each complete group with its frame parity and its place (0 to 3) in the frame.
using GroupConsumer = void (*)(const PcmGroupSymbols& group, int parity, std::uint32_t groupIndex);

// Where complete groups go; DecodeGroup unless a companion tool installs its own.
extern GroupConsumer GroupConsumerHook;

inline constexpr double CellScale = 1.0 / 6.623;  // bit cells per capture unit
inline constexpr std::int32_t SyncCells = 18;

// floor(duration x CellScale + 0.5) in double precision, without a library call: truncation
// toward zero is floor for every value but negative non-integers, which step down by one.
constexpr std::int32_t CellsByFormula(std::int32_t duration) {
  double scaled = duration * CellScale + 0.5;
  auto truncated = static_cast<std::int32_t>(scaled);
  return truncated - (scaled < truncated ? 1 : 0);
}

// Nearly every run of a real capture is shorter than this; its cell count is looked up instead
// of computed, which takes the floating-point chain off the per-run path.
inline constexpr std::uint32_t CellTableSize = 1024;
inline constexpr auto CellTable = [] {
  std::array<std::uint8_t, CellTableSize> table{};
  for (std::uint32_t d = 0; d < CellTableSize; ++d) {
    table[d] = static_cast<std::uint8_t>(CellsByFormula(static_cast<std::int32_t>(d)));
  }
  return table;
}();

// Bit cells of a run of `duration` capture units: floor(duration x CellScale + 0.5).
inline std::int32_t CellsFromDuration(std::int32_t duration) {
  auto index = static_cast<std::uint32_t>(duration);
  return index < CellTableSize ? CellTable[index] : CellsByFormula(duration);
}

// Decodes one run of the capture.
void DecodeRun(std::int32_t duration, Polarity polarity);

// Decodes `count` runs in file order, the first with `polarity`, exactly as DecodeRun would one
// by one (the group consumer included, which sees the same cell total); returns the polarity of
// the run after the block. Runs inside a frame's code words are decoded a stretch at a time;
// every other run goes through DecodeRun.
Polarity DecodeRunBlock(const std::int32_t* durations, std::size_t count, Polarity polarity);

// After the frame's fourth group: prints the frame's end time (level 2 and up) and waits for the
// next sync. Shared by DecodeRun and DecodeRunBlock.
void EndFrame();

// Puts the decoder and its accumulator back to their starting state (tests and fuzzing only).
void ResetRunDecoder();
