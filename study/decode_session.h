// The companion's view of a decode. In: runs, handed in as they are found (a decode session is a
// run sink: a capture file's reader, a receiver or a sound card feed it), and the news that time
// passes without them. Out: what the one run decoder did with them, told to an observer as it
// happens: runs, syncs, groups, complete frames, frames lost to an invalid code word or an
// unknown frame type, and whether the signal is there at all.
//
// Every complete frame is graded before it is passed on. Only a trusted frame reaches OnFrame,
// the readers of values (the monitor, export, the joystick); a doubtful one goes to
// OnDoubtfulFrame instead, counted by why:
//
//   weak cells   runs measured by a receiver, and one of the frame's own (after its sync run,
//                to its last group's) had a cell decided closer to the middle than TrustedMargin;
//                not asked when the code is known, whose check bits are far better evidence
//   aux          a group's aux breaks the pattern (2, 0, 2, 0 unless the recording's own
//                well-received frames agree on another, AuxPatternFrames of them in a row)
//   ecc          given a code, a group's ecc is not the one the code gives its data
//
// Runs from a capture file carry no margins: their frames are never doubtful for weak cells.
//
// The runs go through the decoder's block path, exactly as Morvantis decodes them, and the
// session hears the decoder's typed events; it never reads the decoder's printed text. It owns
// the decoder's process-wide set-up (its verbose level, its output sink, its listeners, its
// state): a session starts the decoder afresh and puts every setting back when it ends. One
// session decodes at a time.
//
// The signal's presence:
//
//   waiting --first frame--> present --no frame for SignalLostMs of signal time--> lost
//                               ^      --no input at all for StallMs of wall time-->  |
//                               +---------------- a frame (OnSignalBack) <------------+
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <string>

#include "channels/group_fields.h"
#include "common/run_sink.h"
#include "common/signal_layout.h"
#include "decoder/decoder_events.h"
#include "decoder/decoder_setup.h"
#include "ecc/affine_code.h"

// A value per channel 1 to 8 (index 0 unused); -1 where there is none.
using ChannelColumn = std::array<int, ChannelCount + 1>;

// Times given to the observer in milliseconds count from the start of the signal and keep
// counting past the 2^32 cells (7.4 days) where the decoder's own cell total wraps.
struct DecodedFrame {
  std::uint32_t EndCells = 0;  // the decoder's cell total at the frame's end, as it prints it
  double EndMs = 0;            // the frame's end
  int Parity = OddFrame;
  std::array<GroupFields, GroupsPerFrame> Groups{};
  ChannelColumn Positions{};  // by channel: the four positions it carries, -1 elsewhere
  ChannelColumn Deltas{};     // by channel: the other four channels' deltas, -1 elsewhere
  // By channel: every channel's latest position from the trusted frames up to this one (this
  // one included when it is trusted), -1 before the first. Kept once, by the session.
  ChannelColumn Held = [] {
    ChannelColumn none;
    none.fill(-1);
    return none;
  }();
  bool AuxOk = true;  // every group's aux as expected (2, 0, 2, 0 unless learnt)
  // The weakest decision margin of the frame's runs, in amplitudes (infinity: not measured).
  float Margin = std::numeric_limits<float>::infinity();
  int EccMismatches = 0;  // groups whose ecc the code disagrees with (0 without a code)
};

// What became of the frames the decoder met, counted once for every reader.
struct FrameTally {
  std::uint64_t Syncs = 0;             // frames begun
  std::uint64_t Complete = 0;          // frames with all four groups
  std::uint64_t Doubtful = 0;          // complete frames decided from too weak cells
  std::uint64_t AuxMismatches = 0;     // other complete frames with a group's aux not as expected
  std::uint64_t EccMismatches = 0;     // other complete frames with a group failing the ecc code
  std::uint64_t MismatchedGroups = 0;  // groups (of any frame) with an unexpected aux
  std::uint64_t EccMismatchedGroups = 0;  // groups of complete frames failing the ecc code
  std::uint64_t InvalidCodeWords = 0;     // frames dropped at an invalid code word
  std::uint64_t UnknownFrameTypes = 0;    // frames dropped at an unknown frame type
  // Complete frames passed on as values.
  std::uint64_t Trusted() const { return Complete - Doubtful - AuxMismatches - EccMismatches; }
  // Lost: dropped by the decoder, or complete but not trusted.
  std::uint64_t Lost() const {
    return InvalidCodeWords + UnknownFrameTypes + Doubtful + AuxMismatches + EccMismatches;
  }
};

enum class FrameLoss { InvalidCodeWord, UnknownFrameType };
// Why a complete frame is not trusted (the first that applies, in this order).
enum class FrameDoubt { WeakCells, Aux, Ecc };
class DecodeSession;
enum class SignalLoss { Silence, Stalled };  // no frames in the signal; no input at all
enum class SignalState { Waiting, Present, Lost };

class DecodeObserver {
 public:
  virtual ~DecodeObserver() = default;
  // Each block of runs, before the decoder sees it.
  virtual void OnRuns(const std::int32_t* /*durations*/, std::size_t /*count*/) {}
  virtual void OnSync(double /*ms*/) {}
  virtual void OnGroup(std::uint32_t /*groupIndex*/, const GroupFields& /*fields*/) {}
  // A trusted frame: its values may be used.
  virtual void OnFrame(const DecodedFrame& /*frame*/) {}
  // A complete frame that is not trusted: for study only, never for its values.
  virtual void OnDoubtfulFrame(const DecodedFrame& /*frame*/, FrameDoubt /*why*/) {}
  virtual void OnLostFrame(double /*ms*/, FrameLoss /*why*/) {}
  // The signal was present and is not any more, from `ms` on: no valid frame for the session's
  // limit (the time is when the limit passed), or the input stalled (the time it was noticed).
  virtual void OnSignalLost(double /*ms*/, SignalLoss /*why*/) {}
  // A valid frame, ending at `ms`, after the signal was lost.
  virtual void OnSignalBack(double /*ms*/) {}
  // Reading a live input, the next read would wait (called again every IdleWaitMs while it
  // does): hand on whatever is ready.
  virtual void OnIdle() {}
  // Asked after each block and when idle: false ends the decode there (a viewer that quits).
  virtual bool WantsMore() { return true; }

  // The session decoding for this observer, while there is one: whether the signal is present
  // or the input has stalled, and how far the signal has come.
  const DecodeSession* Session = nullptr;
  // What the session counted, as it stood when the session ended (for the closing summary).
  FrameTally Tally;
};

struct SessionSettings {
  double SignalLostMs = 100;    // signal time without a valid frame that counts as a lost signal
  double StallMs = 250;         // wall time without any input that counts as a stalled input
  float TrustedMargin = 0.05f;  // a frame with a cell decided closer to the middle is doubtful:
                                // about the most that loses no frame of moderate impairments
  std::optional<EccCode> Ecc;   // the groups' check code, when known
};

class DecodeSession : public RunSink {
 public:
  explicit DecodeSession(DecodeObserver& observer, const SessionSettings& settings = {});
  ~DecodeSession() override;
  DecodeSession(const DecodeSession&) = delete;
  DecodeSession& operator=(const DecodeSession&) = delete;

  bool TakeRuns(const std::int32_t* durations, std::size_t count) override;
  bool WantsMargins() const override { return true; }
  bool TakeGradedRuns(const std::int32_t* durations, const float* margins,
                      std::size_t count) override;
  void SignalTime(double ms) override;
  bool Waiting() override;

  SignalState Signal() const { return state_; }
  const FrameTally& Tally() const { return tally_; }
  // Whether the input has delivered nothing for StallMs of wall time, up to now.
  bool Stalled() const { return stalled_; }
  // How far the signal has come, in ms: the runs decoded, or later times the source reported.
  double NowMs() const;

  // The decoder's listeners call these (through plain functions); not for other callers.
  void HearSync(std::uint32_t cellTotal);
  void HearLostFrame(std::uint32_t cellTotal, FrameLoss why);
  void HearGroup(std::uint32_t cellTotal, const PcmGroupSymbols& group, int parity,
                 std::uint32_t groupIndex);

 private:
  double Milliseconds(std::uint32_t cellTotal);
  void CheckSilence(double ms);
  void Arrived();
  float FrameMargin(std::uint32_t endCells);
  std::optional<FrameDoubt> Grade(const DecodedFrame& frame);
  void LearnAux(const DecodedFrame& frame);

  // A run handed in with its margin: where it ends on the decoder's cell total, and its margin.
  struct RunMark {
    std::uint32_t EndCells;  ///< the decoder's cell total after the run
    float Margin;            ///< the weakest decision margin of its cells
  };

  DecodeObserver& observer_;
  SessionSettings settings_;
  std::optional<DecoderSetup> decoder_;  // set up once the observer knows its session
  Polarity polarity_ = 0;
  DecodedFrame frame_;
  std::deque<RunMark> marks_;    ///< the runs with margins since the current frame's sync
  std::uint32_t syncCells_ = 0;  ///< the cell total at the current frame's sync
  std::array<std::uint32_t, GroupsPerFrame> aux_ = ExpectedAux;  ///< the aux pattern held to
  std::array<std::uint32_t, GroupsPerFrame> otherAux_{};         ///< another, seen in good frames
  int otherAuxFrames_ = 0;  ///< good frames in a row that showed it
  FrameTally tally_;
  std::uint32_t lastCells_ = 0;
  std::int64_t elapsedCells_ = 0;  // since the start, not wrapping
  double reportedMs_ = 0;          // the latest signal time a source reported
  SignalState state_ = SignalState::Waiting;
  double lastFrameMs_ = 0;
  bool stalled_ = false;
  std::optional<std::chrono::steady_clock::time_point> waitingSince_;
};

// Decodes the capture in `path` ("-" for standard input), streaming, through a session. A stream
// (pipe, FIFO, terminal) is decoded as it arrives and ends normally at its end or when SIGINT or
// SIGTERM says so. Returns an error text, empty on success.
std::string DecodeCaptureFile(const std::string& path, DecodeObserver& observer,
                              const SessionSettings& settings = {});
