// A diagnosis of a capture, like a pulse analyzer's. In: the capture's runs and the decoder's
// events. Out: how long its runs are in cells, how far their durations fall from whole cells,
// the cell length measured from the data, what the decoder made of it (syncs, frames complete
// and lost, aux mismatches), the ecc code its groups fit (or that they fit none), and a closing
// verdict in plain words, as text or JSON. Given a known ecc code, it counts the groups that
// fail it.
//
// Runs are only counted by duration as they pass (one histogram increment per run); everything
// about cells is worked out from the histogram when the report is made. Idle runs (the
// transmitter switched off between bursts) are noted with the syncs they fall between, so that
// idle time is not taken for frames lost.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ecc/affine_code.h"
#include "study/decode_session.h"
#include "study/ecc_search.h"
#include "timing/cell_length_fit.h"

class CaptureAnalysis : public DecodeObserver {
 public:
  static constexpr int LongestBar = 30;    // runs of more cells share the last bucket
  static constexpr int ErrorBuckets = 20;  // -50 % to +50 % of a cell in steps of 5 %

  void OnRuns(const std::int32_t* durations, std::size_t count) override;
  void OnSync(double ms) override;
  void OnGroup(std::uint32_t groupIndex, const GroupFields& fields) override;
  void OnFrame(const DecodedFrame& frame) override;
  // The analysis studies every complete frame, trusted or not.
  void OnDoubtfulFrame(const DecodedFrame& frame, FrameDoubt) override { OnFrame(frame); }
  void OnLostFrame(double ms, FrameLoss why) override;

  // Checks every group against `code` from now on.
  void CheckEcc(const EccCode& code) { checkedCode_ = code; }

  // Frames that began with a sync and a known frame type but did not complete.
  std::uint64_t FramesCutShort() const;
  // Frames whose syncs never came, judged from gaps of two frame periods or more between syncs,
  // leaving out idle time.
  std::uint64_t FramesMissing() const;
  double Seconds() const;
  std::string Verdict() const;

  std::string Text() const;
  std::string Json(const std::string& name) const;

  std::uint64_t Runs() const { return runs_; }
  std::uint64_t Syncs() const { return syncs_; }
  std::uint64_t FramesComplete() const { return frames_; }
  std::uint64_t InvalidCodeWords() const { return invalidWords_; }
  std::uint64_t UnknownFrameTypes() const { return unknownTypes_; }
  std::uint64_t AuxMismatches() const { return auxMismatches_; }
  // Groups that fail the code given to CheckEcc.
  std::uint64_t EccFailures() const { return eccFailures_; }
  CellLengthFit Fit() const;
  // The ecc code the groups fit best (worked out once, at the first call).
  const EccSearchResult& Ecc() const;

 private:
  // Durations below this are counted one by one; every run that can be timed in cells is.
  static constexpr std::size_t CountedDurations = 1024;
  // Runs longer than this are idle time, the transmitter off: far longer than any run in a
  // frame (15 cells) or a sync (18).
  static constexpr std::int32_t IdleUnits = static_cast<std::int32_t>(40 * UnitsPerCell);
  using CellHistogram = std::array<std::uint64_t, LongestBar + 2>;  // 0 .. LongestBar, longer
  CellHistogram Cells() const;
  std::array<std::uint64_t, ErrorBuckets> TimingErrors() const;
  // What the groups tell of their ecc code, in words and as JSON.
  std::string EccReport() const;
  std::string EccJson() const;

  std::uint64_t runs_ = 0, syncs_ = 0, frames_ = 0, invalidWords_ = 0, unknownTypes_ = 0;
  std::uint64_t auxMismatches_ = 0, negativeRuns_ = 0, longRuns_ = 0;
  std::int64_t units_ = 0;  // exact: no sum of 32-bit durations comes near 2^63
  // Spacing of successive syncs in cells, for the frame period; longer ones are summed.
  static constexpr std::size_t ShortestFrameCells =
      SyncCells + FrameTypeBits + CodeWordsPerFrame * CodeWordBits;
  std::array<std::uint64_t, 8192> syncGaps_{};
  double lastSyncMs_ = 0, longGapCells_ = 0;
  std::uint64_t longGaps_ = 0;
  std::array<std::uint64_t, CountedDurations> durations_{};

  // Idle runs of the current block, each with the sync runs before it in the block.
  struct IdleRun {
    std::size_t SyncsBefore;  ///< runs of a sync's length before it in the block
    double Cells;             ///< its length
  };
  std::vector<IdleRun> idleRuns_;  // at most a block's runs, in order
  std::size_t idlePlaced_ = 0;     // those before it are counted in a gap already
  std::size_t syncsInBlock_ = 0;   // syncs heard since the current block began
  double idleCells_ = 0;           // idle time since the last sync, of runs already placed

  std::uint64_t eccFailures_ = 0;
  std::optional<EccCode> checkedCode_;
  EccSearch eccSearch_;
  mutable std::optional<EccSearchResult> ecc_;
};
