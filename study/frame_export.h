// Decoded frames as records other programs read. In: complete frames from the decode session.
// Out: one record per frame with its end time, its type, each channel's position (the four
// channels it carries) or delta (the other four), the raw aux and ecc of each group, whether the
// aux check held, and every channel's latest known position (so a CSV export is a channel CSV
// that synth reads back); given a calibration, each of those also as a percent of its
// channel's calibrated travel.
//
//   csv:   end_ms,type,p1..p8,d1..d8,aux0..aux3,ecc0..ecc3,aux_ok,ch1..ch8[,pct1..pct8]
//          (empty cells where there is no value)
//   jsonl: {"end_ms":..,"type":"odd","positions":{"1":..},"deltas":{"2":..},"aux":[..],
//          "ecc":[..],"aux_ok":true,"channels":{"1":..}[,"percent":{"1":-12.5,..}]}
// Only trusted frames are records (decode_session.h); with every frame asked for, doubtful ones
// are records too, and each record ends with its grade: the weakest decision margin of its
// cells (two decimals; empty, or null, when not measured), trusted or doubtful, and why not
// trusted (weak_cells, aux, ecc):
//
//   csv:   ...,ch1..ch8[,pct1..pct8],margin,grade,why
//   jsonl: {...,"channels":{..},"margin":0.61,"grade":"doubtful","why":"weak_cells"}
//
// Frames lost or cut short are not records; they are counted. When the signal is lost (no valid
// frame for the session's limit, or an input that stalled) and when it is back, a record says
// so with its time: in JSON lines {"event":"signal_lost","ms":..,"why":"silence"|"stalled"} and
// {"event":"signal_back","ms":..}; in CSV a comment line, "# signal lost at MS ms (WHY)" and
// "# signal back at MS ms", which channel-CSV readers skip.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "study/decode_session.h"
#include "study/percent_units.h"
#include "study/record_writer.h"

class FrameExport : public DecodeObserver {
 public:
  enum class Format { Csv, JsonLines };

  // `allFrames`: doubtful frames are records too, and every record carries its grade. Without
  // `percent`, no percent columns.
  FrameExport(std::FILE* output, Format format, bool allFrames = false, PercentTenths percent = {});

  void OnSync(double ms) override;
  void OnFrame(const DecodedFrame& frame) override { Write(frame, std::nullopt); }
  void OnDoubtfulFrame(const DecodedFrame& frame, FrameDoubt why) override {
    if (allFrames_) Write(frame, why);
  }
  void OnSignalLost(double ms, SignalLoss why) override;
  void OnSignalBack(double ms) override;

  // Hands every record so far to the output; false once a write has failed.
  bool Flush() { return writer_.Flush(); }

  // Reading a stream: every record so far reaches the reader before the export waits for more.
  void OnIdle() override {
    if (writer_.Flush()) std::fflush(output_);
  }

  std::uint64_t FramesWritten() const { return written_; }
  std::uint64_t FramesLost() const { return syncs_ > written_ ? syncs_ - written_ : 0; }

 private:
  void Write(const DecodedFrame& frame, std::optional<FrameDoubt> doubt);
  char* AppendGrade(char* out, const DecodedFrame& frame, std::optional<FrameDoubt> doubt) const;

  std::FILE* output_;
  RecordWriter writer_;
  Format format_;
  bool allFrames_;
  PercentTenths percent_;
  std::uint64_t written_ = 0, syncs_ = 0;
};
