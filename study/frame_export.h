// Decoded frames as records other programs read. In: complete frames from the decode session.
// Out: one record per frame with its end time, its type, each channel's position (the four
// channels it carries) or delta (the other four), the raw aux and ecc of each group and whether
// the aux check held.
//
//   csv:   end_ms,type,p1..p8,d1..d8,aux0..aux3,ecc0..ecc3,aux_ok   (empty cells where a frame
//          carries no value)
//   jsonl: {"end_ms":..,"type":"odd","positions":{"1":..},"deltas":{"2":..},"aux":[..],
//          "ecc":[..],"aux_ok":true}
// Frames lost or cut short are not records; they are counted.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "study/decode_session.h"
#include "study/record_writer.h"

class FrameExport : public DecodeObserver {
 public:
  enum class Format { Csv, JsonLines };

  FrameExport(std::FILE* output, Format format);

  void OnSync(double ms) override;
  void OnFrame(const DecodedFrame& frame) override;

  // Hands every record so far to the output; false once a write has failed.
  bool Flush() { return writer_.Flush(); }

  std::uint64_t FramesWritten() const { return written_; }
  std::uint64_t FramesLost() const { return syncs_ > written_ ? syncs_ - written_ : 0; }

 private:
  RecordWriter writer_;
  Format format_;
  std::uint64_t written_ = 0, syncs_ = 0;
};
