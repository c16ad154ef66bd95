// A capture stream in, the decoder's events as observer calls out.
#include "study/decode_session.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/capture_records.h"
#include "common/text_output.h"
#include "common/verbose_level.h"
#include "decoder/run_decoder.h"

namespace {

// The lowest level prints least; what it prints goes nowhere, since the session listens to
// events instead.
constexpr std::int32_t QuietLevel = 0;

double Milliseconds(std::uint32_t cells) {
  return cells * MillisecondsPerCell;
}

// One decode's listener: turns the decoder's events into the observer's calls.
struct Session {
  DecodeObserver* Observer;
  DecodedFrame Frame;
};

Session& Of(void* context) {
  return *static_cast<Session*>(context);
}

void HearSync(void* context, std::uint32_t cellTotal, Polarity, std::uint32_t) {
  Of(context).Observer->OnSync(Milliseconds(cellTotal));
}

void HearFrameType(void* context, std::uint32_t cellTotal, FrameTypeKind kind, std::uint32_t) {
  if (kind == FrameTypeKind::Unknown) {
    Of(context).Observer->OnLostFrame(Milliseconds(cellTotal), FrameLoss::UnknownFrameType);
  }
}

void HearInvalidCodeWord(void* context, std::uint32_t cellTotal, std::uint32_t) {
  Of(context).Observer->OnLostFrame(Milliseconds(cellTotal), FrameLoss::InvalidCodeWord);
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
    session.Frame.EndMs = Milliseconds(cellTotal);
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

  Session session{&observer, {}};
  CaptureReadResult result;
  int readErrno = 0;
  {
    DecoderSettingsScope scope;
    SetOutputSink(DiscardOutput);
    VerboseLevel = QuietLevel;
    DecoderListeners = {&session, HearSync, HearFrameType, HearInvalidCodeWord, HearGroup, nullptr};
    ResetRunDecoder();
    Polarity polarity = 0;
    result = ReadCaptureBlocks(file, [&](const std::int32_t* runs, std::size_t count) {
      observer.OnRuns(runs, count);
      polarity = DecodeRunBlock(runs, count, polarity);
      return true;
    });
    readErrno = errno;
    DrainOutput();
  }
  if (!fromStandardInput) std::fclose(file);
  if (result == CaptureReadResult::ReadError)
    return "cannot read " + path + ": " + std::strerror(readErrno);
  return {};
}
