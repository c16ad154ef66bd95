// What the decoder tells its listeners: one table of plain functions, each called at the moment
// the decoder does the thing it names, with the cell total at that moment. The printed report
// lines are for people; these events are how other stages learn what happened (the channel
// display hears groups; the companion's study tools hear everything).
//
//   SyncFound        an 18-cell run opened a frame        polarity, syncs found before it
//   FrameTypeRead    the 6-bit frame type was taken       ODD, EVEN or unknown, and its value
//   InvalidCodeWord  a code word is not in the table      the word; the frame is dropped
//   GroupComplete    a fourth symbol completed a group    symbols, parity, group 0 to 3
//   FrameEnd         the fourth group closed the frame
//
// Any entry may be left empty. Run-by-run and block decoding call the same entries in the same
// order with the same cell totals.
#pragma once

#include <cstdint>

#include "common/pcm_types.h"

enum class FrameTypeKind : std::uint8_t { Odd, Even, Unknown };

struct DecoderEvents {
  void* Context;  // handed to every entry unchanged
  void (*SyncFound)(void* context, std::uint32_t cellTotal, Polarity polarity,
                    std::uint32_t syncIndex);
  void (*FrameTypeRead)(void* context, std::uint32_t cellTotal, FrameTypeKind kind,
                        std::uint32_t value);
  void (*InvalidCodeWord)(void* context, std::uint32_t cellTotal, std::uint32_t codeWord);
  void (*GroupComplete)(void* context, std::uint32_t cellTotal, const PcmGroupSymbols& group,
                        int parity, std::uint32_t groupIndex);
  void (*FrameEnd)(void* context, std::uint32_t cellTotal);
};

// The decoder's listeners; all empty until a program installs its own.
extern DecoderEvents DecoderListeners;
