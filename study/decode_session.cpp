// A capture stream in, the decoder's events as observer calls out.
#include "study/decode_session.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/capture_records.h"
#include "common/text_output.h"
#include "common/verbose_level.h"
#include "decoder/run_decoder.h"
#include "files/capture_file.h"

namespace {

// The lowest level prints least; what it prints goes nowhere, since the session listens to
// events instead.
constexpr std::int32_t QuietLevel = 0;

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
    bool first = true;
    result = ReadCaptureBlocks(file, [&](const std::int32_t* runs, std::size_t count) {
      if (first) {
        // The first records, back as the bytes they came from, tell what the input is.
        unsigned char bytes[64];
        std::size_t size = std::min(sizeof bytes, count * CaptureRecordBytes);
        for (std::size_t i = 0; i < size; ++i)
          bytes[i] =
              static_cast<unsigned char>(static_cast<std::uint32_t>(runs[i / 4]) >> (8 * (i % 4)));
        refusal = RecognizeNonCapture(bytes, size);
        first = false;
        if (!refusal.empty()) return false;
      }
      observer.OnRuns(runs, count);
      polarity = DecodeRunBlock(runs, count, polarity);
      return true;
    });
    readErrno = errno;
    DrainOutput();
  }
  if (!fromStandardInput) std::fclose(file);
  if (!refusal.empty()) return (fromStandardInput ? "standard input" : path) + " " + refusal;
  if (result == CaptureReadResult::ReadError)
    return "cannot read " + path + ": " + std::strerror(readErrno);
  return {};
}
