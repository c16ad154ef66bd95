// A capture stream in, the decoder's events as observer calls out.
#include "study/decode_session.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/capture_records.h"
#include "common/text_output.h"
#include "common/verbose_level.h"
#include "decoder/run_decoder.h"
#include "files/capture_file.h"
#include "files/stop_signal.h"

namespace {

// The lowest level prints least; what it prints goes nowhere, since the session listens to
// events instead.
constexpr std::int32_t QuietLevel = 0;

// Records looked at to tell a capture from a recording, a trace or a text.
constexpr std::size_t RecognizedRecords = 16;

// One decode's listener: turns the decoder's events into the observer's calls.
struct Session {
  DecodeObserver* Observer;
  DecodedFrame Frame;
  std::uint32_t LastCells = 0;
  std::int64_t Elapsed = 0;  // cells since the start, not wrapping

  // The time of an event at the decoder's (wrapping) cell total. Between two events the total
  // moves by far less than 2^31 cells, so the signed difference is the true step.
  double Milliseconds(std::uint32_t cellTotal) {
    Elapsed += static_cast<std::int32_t>(cellTotal - LastCells);
    LastCells = cellTotal;
    return static_cast<double>(Elapsed) * MillisecondsPerCell;
  }
};

Session& Of(void* context) {
  return *static_cast<Session*>(context);
}

void HearSync(void* context, std::uint32_t cellTotal, Polarity, std::uint32_t) {
  Session& session = Of(context);
  session.Observer->OnSync(session.Milliseconds(cellTotal));
}

void HearFrameType(void* context, std::uint32_t cellTotal, FrameTypeKind kind, std::uint32_t) {
  if (kind == FrameTypeKind::Unknown) {
    Session& session = Of(context);
    session.Observer->OnLostFrame(session.Milliseconds(cellTotal), FrameLoss::UnknownFrameType);
  }
}

void HearInvalidCodeWord(void* context, std::uint32_t cellTotal, std::uint32_t) {
  Session& session = Of(context);
  session.Observer->OnLostFrame(session.Milliseconds(cellTotal), FrameLoss::InvalidCodeWord);
}

void HearGroup(void* context, std::uint32_t cellTotal, const PcmGroupSymbols& group, int parity,
               std::uint32_t groupIndex) {
  Session& session = Of(context);
  GroupFields fields = SplitGroup(group);
  session.Observer->OnGroup(groupIndex, fields);
  session.Frame.Parity = parity;
  session.Frame.Groups[groupIndex] = fields;
  if (groupIndex + 1 == GroupsPerFrame) {
    session.Frame.EndCells = cellTotal;
    session.Frame.EndMs = session.Milliseconds(cellTotal);
    session.Observer->OnFrame(session.Frame);
  }
}

// The decoder's settings as the session found them, put back when it ends.
class DecoderSettingsScope {
 public:
  DecoderSettingsScope()
      : level_(VerboseLevel), sink_(TextOutput.Sink), listeners_(DecoderListeners) {}
  ~DecoderSettingsScope() {
    SetOutputSink(sink_);
    DecoderListeners = listeners_;
    VerboseLevel = level_;
  }
  DecoderSettingsScope(const DecoderSettingsScope&) = delete;
  DecoderSettingsScope& operator=(const DecoderSettingsScope&) = delete;

 private:
  std::int32_t level_;
  OutputSink sink_;
  DecoderEvents listeners_;
};

}  // namespace

std::string DecodeCaptureFile(const std::string& path, DecodeObserver& observer) {
  bool fromStandardInput = path == "-";
  std::FILE* file = fromStandardInput ? stdin : std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "cannot open " + path + ": " + std::strerror(errno);

  Session session{&observer, {}, 0, 0};
  // A stream ends when the user says so: a stop signal is then its normal end.
  if (IsStream(file)) EndInputOnSignal();
  CaptureReadResult result;
  int readErrno = 0;
  std::string refusal;
  {
    DecoderSettingsScope scope;
    SetOutputSink(DiscardOutput);
    VerboseLevel = QuietLevel;
    DecoderListeners = {&session, HearSync, HearFrameType, HearInvalidCodeWord, HearGroup, nullptr};
    ResetRunDecoder();
    Polarity polarity = 0;
    auto decode = [&](const std::int32_t* runs, std::size_t count) {
      observer.OnRuns(runs, count);
      polarity = DecodeRunBlock(runs, count, polarity);
    };
    // The first records, back as the bytes they came from, tell what the input is; they are
    // held until there are enough of them (or the input ends).
    std::array<std::int32_t, RecognizedRecords> first{};
    std::size_t held = 0;
    bool recognized = false;
    auto recognize = [&] {
      unsigned char bytes[RecognizedRecords * CaptureRecordBytes];
      for (std::size_t i = 0; i < held * CaptureRecordBytes; ++i) {
        bytes[i] =
            static_cast<unsigned char>(static_cast<std::uint32_t>(first[i / 4]) >> (8 * (i % 4)));
      }
      refusal = RecognizeNonCapture(bytes, held * CaptureRecordBytes);
      recognized = true;
      if (refusal.empty() && held > 0) decode(first.data(), held);
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
          if (count > 0) decode(runs, count);
          return observer.WantsMore();
        },
        [&] {
          observer.OnIdle();
          return !StopRequested() && observer.WantsMore();
        });
    readErrno = errno;
    if (!recognized && result != CaptureReadResult::ReadError) recognize();
    DrainOutput();
  }
  if (!fromStandardInput) std::fclose(file);
  if (!refusal.empty()) return (fromStandardInput ? "standard input" : path) + " " + refusal;
  if (result == CaptureReadResult::ReadError)
    return "cannot read " + path + ": " + std::strerror(readErrno);
  return {};
}
