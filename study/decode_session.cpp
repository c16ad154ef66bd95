// Runs in; the decoder's events, frames and the signal's presence as observer calls out.
#include "study/decode_session.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/capture_records.h"
#include "common/signal_layout.h"
#include "decoder/cell_count.h"
#include "decoder/run_decoder.h"
#include "files/capture_file.h"
#include "files/standard_streams.h"
#include "files/stop_signal.h"

namespace {

// The lowest level prints least; what it prints goes nowhere, since the session listens to
// events instead.
constexpr std::int32_t QuietLevel = 0;

// Records looked at to tell a capture from a recording, a trace or a text.
constexpr std::size_t RecognizedRecords = 16;

// Well-received frames in a row that must agree on another aux pattern before it is held to.
constexpr int AuxPatternFrames = 16;
// Runs with margins kept while no frame ends (noise without syncs): many frames' worth.
constexpr std::size_t MostRunMarks = 4096;

DecodeSession& Of(void* context) {
  return *static_cast<DecodeSession*>(context);
}

void HearSync(void* context, std::uint32_t cellTotal, Polarity, std::uint32_t) {
  Of(context).HearSync(cellTotal);
}

void HearFrameType(void* context, std::uint32_t cellTotal, FrameTypeKind kind, std::uint32_t) {
  if (kind == FrameTypeKind::Unknown)
    Of(context).HearLostFrame(cellTotal, FrameLoss::UnknownFrameType);
}

void HearInvalidCodeWord(void* context, std::uint32_t cellTotal, std::uint32_t) {
  Of(context).HearLostFrame(cellTotal, FrameLoss::InvalidCodeWord);
}

void HearGroup(void* context, std::uint32_t cellTotal, const PcmGroupSymbols& group, int parity,
               std::uint32_t groupIndex) {
  Of(context).HearGroup(cellTotal, group, parity, groupIndex);
}

}  // namespace

DecodeSession::DecodeSession(DecodeObserver& observer, const SessionSettings& settings)
    : observer_(observer), settings_(settings) {
  decoder_.emplace(
      QuietLevel, DiscardOutput,
      DecoderEvents{this, ::HearSync, HearFrameType, HearInvalidCodeWord, ::HearGroup, nullptr});
  observer_.Session = this;
}

DecodeSession::~DecodeSession() {
  observer_.Tally = tally_;
  observer_.Session = nullptr;
}

// The time of an event at the decoder's (wrapping) cell total. Between two looks the total moves
// by far less than 2^31 cells, so the signed difference is the true step.
double DecodeSession::Milliseconds(std::uint32_t cellTotal) {
  elapsedCells_ += static_cast<std::int32_t>(cellTotal - lastCells_);
  lastCells_ = cellTotal;
  return static_cast<double>(elapsedCells_) * MillisecondsPerCell;
}

double DecodeSession::NowMs() const {
  return std::max(static_cast<double>(elapsedCells_) * MillisecondsPerCell, reportedMs_);
}

void DecodeSession::CheckSilence(double ms) {
  if (state_ == SignalState::Present && ms - lastFrameMs_ > settings_.SignalLostMs) {
    state_ = SignalState::Lost;
    observer_.OnSignalLost(lastFrameMs_ + settings_.SignalLostMs, SignalLoss::Silence);
  }
}

void DecodeSession::Arrived() {
  waitingSince_.reset();
  stalled_ = false;
}

bool DecodeSession::TakeRuns(const std::int32_t* durations, std::size_t count) {
  Arrived();
  observer_.OnRuns(durations, count);
  polarity_ = DecodeRunBlock(durations, count, polarity_);
  CheckSilence(Milliseconds(RunDecoder.CellTotal));
  return observer_.WantsMore();
}

bool DecodeSession::TakeGradedRuns(const std::int32_t* durations, const float* margins,
                                   std::size_t count) {
  // Where each run ends on the decoder's cell total, as the decoder will count it.
  std::uint32_t cells = RunDecoder.CellTotal;
  for (std::size_t i = 0; i < count; ++i) {
    cells += static_cast<std::uint32_t>(CellsFromDuration(durations[i]));
    marks_.push_back({cells, margins[i]});
  }
  const bool more = TakeRuns(durations, count);
  if (marks_.size() > MostRunMarks) {
    marks_.erase(marks_.begin(), marks_.end() - static_cast<std::ptrdiff_t>(MostRunMarks));
  }
  return more;
}

// The weakest margin of the runs after the current frame's sync up to its end at `endCells` (the
// sync run's own length is its evidence; after a silence its first cells were never decided);
// the runs up to there are done with. (Cell totals wrap: they are compared by signed difference.)
float DecodeSession::FrameMargin(std::uint32_t endCells) {
  float weakest = std::numeric_limits<float>::infinity();
  while (!marks_.empty() && static_cast<std::int32_t>(marks_.front().EndCells - endCells) <= 0) {
    if (static_cast<std::int32_t>(marks_.front().EndCells - syncCells_) > 0)
      weakest = std::min(weakest, marks_.front().Margin);
    marks_.pop_front();
  }
  return weakest;
}

std::optional<FrameDoubt> DecodeSession::Grade(const DecodedFrame& frame) {
  // A known code tells damage from a weak decision that came out right: a frame with weak
  // cells that fits it is trusted (the margin alone keeps out only some damaged frames, and
  // costs right ones).
  if (!settings_.Ecc && frame.Margin < settings_.TrustedMargin) return FrameDoubt::WeakCells;
  if (!frame.AuxOk) return FrameDoubt::Aux;
  if (frame.EccMismatches > 0) return FrameDoubt::Ecc;
  return std::nullopt;
}

// A transmitter that keeps another aux pattern shows it in every well-received frame.
void DecodeSession::LearnAux(const DecodedFrame& frame) {
  if (frame.AuxOk || frame.Margin < settings_.TrustedMargin || frame.EccMismatches > 0) {
    otherAuxFrames_ = 0;
    return;
  }
  std::array<std::uint32_t, GroupsPerFrame> seen{};
  for (std::uint32_t g = 0; g < GroupsPerFrame; ++g) seen[g] = frame.Groups[g].Aux;
  otherAuxFrames_ = seen == otherAux_ ? otherAuxFrames_ + 1 : 1;
  otherAux_ = seen;
  if (otherAuxFrames_ == AuxPatternFrames) aux_ = otherAux_;
}

void DecodeSession::SignalTime(double ms) {
  Arrived();
  reportedMs_ = std::max(reportedMs_, ms);
  CheckSilence(NowMs());
}

bool DecodeSession::Waiting() {
  const auto now = std::chrono::steady_clock::now();
  if (!waitingSince_) waitingSince_ = now;
  const std::chrono::duration<double, std::milli> waited = now - *waitingSince_;
  if (!stalled_ && waited.count() > settings_.StallMs) {
    stalled_ = true;
    if (state_ == SignalState::Present) {
      state_ = SignalState::Lost;
      observer_.OnSignalLost(NowMs(), SignalLoss::Stalled);
    }
  }
  observer_.OnIdle();
  return observer_.WantsMore();
}

void DecodeSession::HearSync(std::uint32_t cellTotal) {
  ++tally_.Syncs;
  syncCells_ = cellTotal;
  while (!marks_.empty() && static_cast<std::int32_t>(marks_.front().EndCells - cellTotal) < 0)
    marks_.pop_front();
  const double ms = Milliseconds(cellTotal);
  CheckSilence(ms);
  observer_.OnSync(ms);
}

void DecodeSession::HearLostFrame(std::uint32_t cellTotal, FrameLoss why) {
  ++(why == FrameLoss::InvalidCodeWord ? tally_.InvalidCodeWords : tally_.UnknownFrameTypes);
  const double ms = Milliseconds(cellTotal);
  CheckSilence(ms);
  observer_.OnLostFrame(ms, why);
}

void DecodeSession::HearGroup(std::uint32_t cellTotal, const PcmGroupSymbols& group, int parity,
                              std::uint32_t groupIndex) {
  GroupFields fields = SplitGroup(group);
  tally_.MismatchedGroups += fields.Aux != aux_[groupIndex];
  observer_.OnGroup(groupIndex, fields);
  frame_.Parity = parity;
  frame_.Groups[groupIndex] = fields;
  if (groupIndex + 1 != GroupsPerFrame) return;
  // The frame's values by channel.
  frame_.Positions.fill(-1);
  frame_.Deltas.fill(-1);
  frame_.AuxOk = true;
  frame_.EccMismatches = 0;
  for (std::uint32_t g = 0; g < GroupsPerFrame; ++g) {
    const GroupChannels channels = ChannelsOfGroup(parity, g);
    frame_.Positions[static_cast<std::size_t>(channels.PositionChannel)] =
        static_cast<int>(frame_.Groups[g].Position);
    frame_.Deltas[static_cast<std::size_t>(channels.DeltaChannel)] =
        static_cast<int>(frame_.Groups[g].Delta);
    frame_.AuxOk = frame_.AuxOk && frame_.Groups[g].Aux == aux_[g];
    frame_.EccMismatches += settings_.Ecc && !FitsCode(*settings_.Ecc, frame_.Groups[g]);
  }
  ++tally_.Complete;
  tally_.EccMismatchedGroups += static_cast<std::uint64_t>(frame_.EccMismatches);
  frame_.Margin = FrameMargin(cellTotal);
  frame_.EndCells = cellTotal;
  frame_.EndMs = Milliseconds(cellTotal);
  CheckSilence(frame_.EndMs);
  const std::optional<FrameDoubt> doubt = Grade(frame_);
  LearnAux(frame_);
  if (doubt) {
    // Not a sign of the signal either: noise decodes to a doubtful frame now and then.
    ++(*doubt == FrameDoubt::WeakCells ? tally_.Doubtful
       : *doubt == FrameDoubt::Aux     ? tally_.AuxMismatches
                                       : tally_.EccMismatches);
    observer_.OnDoubtfulFrame(frame_, *doubt);
    return;
  }
  for (std::size_t c = 1; c <= ChannelCount; ++c) {
    if (frame_.Positions[c] >= 0) frame_.Held[c] = frame_.Positions[c];
  }
  if (state_ == SignalState::Lost) observer_.OnSignalBack(frame_.EndMs);
  state_ = SignalState::Present;
  lastFrameMs_ = frame_.EndMs;
  observer_.OnFrame(frame_);
}

std::string DecodeCaptureFile(const std::string& path, DecodeObserver& observer,
                              const SessionSettings& settings) {
  bool fromStandardInput = path == "-";
  if (fromStandardInput && StandardInputClosed()) return "standard input is closed";
  std::FILE* file = fromStandardInput ? stdin : std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    // Stopped while waiting for a FIFO's writer: a stream that ended before it began.
    if (errno == EINTR && StopRequested()) return {};
    return "cannot open " + path + ": " + std::strerror(errno);
  }

  // A stream ends when the user says so: a stop signal is then its normal end.
  if (IsStream(file)) EndInputOnSignal();
  CaptureReadResult result;
  int readErrno = 0;
  std::string refusal;
  {
    DecodeSession session(observer, settings);
    // The first records, back as the bytes they came from, tell what the input is; they are
    // held until there are enough of them (or the input ends).
    std::array<std::int32_t, RecognizedRecords> first{};
    std::size_t held = 0;
    bool recognized = false;
    auto recognize = [&] {
      unsigned char bytes[RecognizedRecords * CaptureRecordBytes];
      for (std::size_t i = 0; i < held; ++i)
        StoreCaptureRecord(bytes + i * CaptureRecordBytes, first[i]);
      refusal = RecognizeNonCapture(bytes, held * CaptureRecordBytes);
      recognized = true;
      if (refusal.empty() && held > 0) session.TakeRuns(first.data(), held);
      return refusal.empty();
    };
    result = ReadCaptureBlocks(
        file,
        [&](const std::int32_t* runs, std::size_t count) {
          if (!recognized) {
            std::size_t taken = std::min(count, RecognizedRecords - held);
            std::copy(runs, runs + taken, first.begin() + static_cast<std::ptrdiff_t>(held));
            held += taken;
            if (held < RecognizedRecords) return true;
            if (!recognize()) return false;
            runs += taken;
            count -= taken;
          }
          return count == 0 ? observer.WantsMore() : session.TakeRuns(runs, count);
        },
        [&] { return !StopRequested() && session.Waiting(); });
    readErrno = errno;
    if (!recognized && result != CaptureReadResult::ReadError) recognize();
  }
  if (!fromStandardInput) std::fclose(file);
  // A stream carries no name to tell audio by: standard input holds a capture or, with --raw,
  // samples.
  if (fromStandardInput && refusal.starts_with(AudioRecordingRefusal)) {
    return "standard input " + std::string(AudioRecordingRefusal) +
           ": pipe it through MorvantisCapture import - -o - first, or give --raw with its "
           "sample format (and --rate, --channels) to read its samples here";
  }
  if (!refusal.empty()) return (fromStandardInput ? "standard input" : path) + " " + refusal;
  if (result == CaptureReadResult::ReadError)
    return "cannot read " + path + ": " + std::strerror(readErrno);
  return {};
}
