// Run decoder: the frame state machine between the capture's runs and the groups of symbols.
//
// In: one run duration per call, with its polarity label. Out: the decoder's report lines, and
// its events (decoder_events.h): syncs, frame types, invalid code words, complete groups of four
// symbols and frame ends.
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
#include "decoder/cell_count.h"
#include "decoder/decoder_events.h"

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
  std::uint32_t SyncsFound;   // syncs so far at any level, for listeners; wraps modulo 2^32
};

extern RunDecoderState RunDecoder;

// Decodes one run of the capture.
void DecodeRun(std::int32_t duration, Polarity polarity);

// Decodes `count` runs in file order, the first with `polarity`, exactly as DecodeRun would one
// by one (the events included, with the same cell totals); returns the polarity of
// the run after the block. Runs inside a frame's code words are decoded a stretch at a time;
// every other run goes through DecodeRun.
Polarity DecodeRunBlock(const std::int32_t* durations, std::size_t count, Polarity polarity);

// Hands the filled group on to its listener, at the current cell total. Shared by DecodeRun and
// DecodeRunBlock.
inline void HandOnGroup() {
  if (DecoderListeners.GroupComplete != nullptr) {
    DecoderListeners.GroupComplete(DecoderListeners.Context, RunDecoder.CellTotal,
                                   RunDecoder.PcmGroup, RunDecoder.FrameParity,
                                   RunDecoder.GroupIndex);
  }
}

// After the frame's fourth group: prints the frame's end time (level 2 and up) and waits for the
// next sync. Shared by DecodeRun and DecodeRunBlock.
void EndFrame();

// Puts the decoder and its accumulator back to their starting state (tests and fuzzing only).
void ResetRunDecoder();
