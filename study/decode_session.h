// The companion's view of a decode. In: a capture (a file or standard input), streamed in
// blocks. Out: what the one run decoder did with it, told to an observer as it happens: blocks
// of runs, syncs, groups, complete frames, and frames lost to an invalid code word or an unknown
// frame type.
//
// The capture goes through the decoder's block path, exactly as Morvantis decodes it, and the
// session hears the decoder's typed events; it never reads the decoder's printed text. The
// decoder's process-wide settings it needs (its verbose level, its output sink, its listeners)
// are put back as they were when the decode ends.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "channels/group_fields.h"

// Times given to the observer in milliseconds count from the start of the capture and keep
// counting past the 2^32 cells (7.4 days) where the decoder's own cell total wraps.
struct DecodedFrame {
  std::uint32_t EndCells = 0;  // the decoder's cell total at the frame's end, as it prints it
  double EndMs = 0;            // the frame's end
  int Parity = OddFrame;
  std::array<GroupFields, GroupsPerFrame> Groups{};
};

enum class FrameLoss { InvalidCodeWord, UnknownFrameType };

class DecodeObserver {
 public:
  virtual ~DecodeObserver() = default;
  // Each block of runs, before the decoder sees it.
  virtual void OnRuns(const std::int32_t* /*durations*/, std::size_t /*count*/) {}
  virtual void OnSync(double /*ms*/) {}
  virtual void OnGroup(std::uint32_t /*groupIndex*/, const GroupFields& /*fields*/) {}
  virtual void OnFrame(const DecodedFrame& /*frame*/) {}
  virtual void OnLostFrame(double /*ms*/, FrameLoss /*why*/) {}
  // Reading a stream, the next read would wait: hand on whatever is ready.
  virtual void OnIdle() {}
  // Asked after each block and when idle: false ends the decode there (a viewer that quits).
  virtual bool WantsMore() { return true; }
};

// Decodes the capture in `path` ("-" for standard input), streaming, from a fresh decoder
// state. A stream (pipe, FIFO, terminal) is decoded as it arrives and ends normally at its end
// or when SIGINT or SIGTERM says so. Returns an error text, empty on success.
std::string DecodeCaptureFile(const std::string& path, DecodeObserver& observer);
