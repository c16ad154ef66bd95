#include "capture/decode_session.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include "channels/channel_display.h"
#include "channels/group_decoder.h"
#include "common/capture_records.h"
#include "common/text_output.h"
#include "common/verbose_level.h"
#include "decoder/decoder_messages.h"
#include "decoder/run_decoder.h"

namespace {

// At level 2 the decoder reports lost frames and frame ends, and nothing per group once the
// group consumer is the session's own.
constexpr std::int32_t SessionLevel = 2;

DecodeObserver* Observer = nullptr;
DecodedFrame Frame;
std::string PendingLine;

double NowMs() {
  return RunDecoder.CellTotal * 0.15;
}

void ReceiveGroup(const PcmGroupSymbols& group, int parity, std::uint32_t groupIndex) {
  GroupFields fields = SplitGroup(group);
  Observer->OnGroup(groupIndex, fields);
  Frame.Parity = parity;
  Frame.Groups[groupIndex] = fields;
  if (groupIndex + 1 == GroupsPerFrame) {
    Frame.EndMs = NowMs();
    Observer->OnFrame(Frame);
  }
}

bool ReceiveText(const char* data, std::size_t size) {
  PendingLine.append(data, size);
  std::size_t end;
  while ((end = PendingLine.find('\n')) != std::string::npos) {
    std::string_view line(PendingLine.data(), end + 1);
    if (line == decoder_text::InvalidPcmByte) {
      Observer->OnLostFrame(NowMs(), FrameLoss::InvalidCodeWord);
    } else if (line.substr(0, decoder_text::UnknownFrameOpen.size()) ==
               decoder_text::UnknownFrameOpen) {
      Observer->OnLostFrame(NowMs(), FrameLoss::UnknownFrameType);
    }
    PendingLine.erase(0, end + 1);
  }
  return true;
}

}  // namespace

std::string DecodeCaptureFile(const std::string& path, DecodeObserver& observer) {
  bool fromStandardInput = path == "-";
  std::FILE* file = fromStandardInput ? stdin : std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "cannot open " + path + ": " + std::strerror(errno);

  Observer = &observer;
  PendingLine.clear();
  ResetRunDecoder();
  ResetChannelDisplay();
  VerboseLevel = SessionLevel;
  GroupConsumerHook = ReceiveGroup;
  SetOutputSink(ReceiveText);

  Polarity polarity = 0;
  CaptureReadResult result =
      ReadCaptureBlocks(file, [&](const std::int32_t* runs, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
          DecoderStateValue before = RunDecoder.DecoderState;
          observer.OnRun(runs[i], CellsFromDuration(runs[i]));
          DecodeRun(runs[i], polarity);
          polarity ^= 1;
          DrainOutput();  // so each report is heard with the run that caused it
          if (before == SeekSync && RunDecoder.DecoderState == FrameTypeField)
            observer.OnSync(NowMs());
        }
        return true;
      });
  int readErrno = errno;

  SetOutputSink(nullptr);
  GroupConsumerHook = DecodeGroup;
  Observer = nullptr;
  if (!fromStandardInput) std::fclose(file);
  if (result == CaptureReadResult::ReadError)
    return "cannot read " + path + ": " + std::strerror(readErrno);
  return {};
}
