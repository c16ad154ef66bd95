// The companion's view of a decode: the capture goes through the one run decoder, exactly as
// Morvantis runs it, and an observer hears what happened run by run: syncs, complete frames
// with their group fields, and frames lost to an invalid code word or an unknown frame type.
//
// Groups come through the decoder's group-consumer hook; syncs show as the decoder leaving
// SeekSync for FrameTypeField; lost frames are the decoder's own report lines, read from its
// output as each run is decoded. The decoder itself is not changed in any way.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "channels/group_fields.h"

struct DecodedFrame {
  double EndMs = 0;  // the time the decoder prints for the frame's end
  int Parity = OddFrame;
  std::array<GroupFields, GroupsPerFrame> Groups{};
};

enum class FrameLoss { InvalidCodeWord, UnknownFrameType };

class DecodeObserver {
 public:
  virtual ~DecodeObserver() = default;
  virtual void OnRun(std::int32_t /*duration*/, std::int32_t /*cells*/) {}
  virtual void OnSync(double /*ms*/) {}
  virtual void OnGroup(std::uint32_t /*groupIndex*/, const GroupFields& /*fields*/) {}
  virtual void OnFrame(const DecodedFrame& /*frame*/) {}
  virtual void OnLostFrame(double /*ms*/, FrameLoss /*why*/) {}
};

// Decodes the capture in `path` ("-" for standard input), streaming, from a fresh decoder
// state. Returns an error text, empty on success.
std::string DecodeCaptureFile(const std::string& path, DecodeObserver& observer);
