// Fuzz target: the whole decoder. The first byte picks the verbose level (-1 to 5), the rest are
// run durations; every input starts from a fresh decoder. Checks what the decoder promises:
// symbols and fields within their widths, a known state, pending bits within their count, and
// output made only of the lines the decoder defines. The same input decoded in blocks, as the
// program reads a file, must print the same, hand on each group at the same cell total and end
// in the same state.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "channels/channel_display.h"
#include "channels/group_decoder.h"
#include "channels/group_fields.h"
#include "common/capture_records.h"
#include "common/text_output.h"
#include "common/verbose_level.h"
#include "decoder/pending_bits.h"
#include "decoder/run_decoder.h"

namespace {

std::string Output;
std::vector<std::uint32_t> GroupTimes;  // the cell total each group was handed on at

bool Collect(const char* data, std::size_t size) {
  Output.append(data, size);
  return true;
}

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckGroup(const PcmGroupSymbols& group, int parity, std::uint32_t groupIndex) {
  for (std::uint32_t symbol : group) Require(symbol < 64);
  Require(parity == OddFrame || parity == EvenFrame);
  Require(groupIndex < GroupsPerFrame);
  GroupFields fields = SplitGroup(group);
  Require(fields.Aux < 4 && fields.Delta < 16 && fields.Position < 1024 && fields.Ecc < 256);
  GroupTimes.push_back(RunDecoder.CellTotal);
  DecodeGroup(group, parity, groupIndex);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// A line after its leading binary digits (level 4 prints them before the messages).
bool KnownLine(std::string_view line) {
  std::size_t digits = line.find_first_not_of("01");
  std::string_view rest =
      digits == std::string_view::npos ? std::string_view{} : line.substr(digits);
  if (rest.empty()) return true;  // digits alone, or the empty line before a SYNC line
  const std::string_view known[] = {" => PCM byte ",
                                    "  => PCM byte ",
                                    "== SYNC = ",
                                    "FrameType: ",
                                    " FrameType: ",
                                    "   aux=",
                                    "------ Time=",
                                    "=== INVALID PCM byte ===",
                                    " === INVALID PCM byte ===",
                                    " Meaning unknown (yet)"};
  for (std::string_view prefix : known) {
    if (StartsWith(rest, prefix)) return true;
  }
  // The eight-channel display line: 40 characters of five-character columns.
  return line.size() == 40;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  ResetRunDecoder();
  ResetChannelDisplay();
  GroupConsumerHook = CheckGroup;
  VerboseLevel = static_cast<std::int32_t>(data[0] % 7) - 1;
  Output.clear();
  GroupTimes.clear();
  SetOutputSink(Collect);

  Polarity polarity = 0;
  for (std::size_t at = 1; at + CaptureRecordBytes <= size; at += CaptureRecordBytes) {
    std::int32_t duration = CaptureRecordAt(data + at);
    // Very long runs only print zeros at level 4; keep the output small enough to check.
    if (VerboseLevel > 3 && (duration > 100000 || duration < -100000)) duration %= 100000;
    DecodeRun(duration, polarity);
    polarity ^= 1;
    DecoderStateValue state = RunDecoder.DecoderState;
    Require(state == SeekSync || state == FrameTypeField || state == EvenExtraBits ||
            state == PcmBytes);
    Require(RunDecoder.SymbolIndex < SymbolsPerGroup && RunDecoder.GroupIndex <= GroupsPerFrame);
    if (PendingBits.BitCount < 32)
      Require(PendingBits.BitWord <= LowBitsMask(PendingBits.BitCount));
  }
  DrainOutput();
  RunDecoderState runByRun = RunDecoder;
  PendingBitsState bitsRunByRun = PendingBits;
  std::string textRunByRun = Output;
  std::vector<std::uint32_t> timesRunByRun = GroupTimes;

  // Again in blocks whose sizes follow the data.
  ResetRunDecoder();
  ResetChannelDisplay();
  Output.clear();
  GroupTimes.clear();
  std::vector<std::int32_t> durations;
  for (std::size_t at = 1; at + CaptureRecordBytes <= size; at += CaptureRecordBytes) {
    std::int32_t duration = CaptureRecordAt(data + at);
    if (VerboseLevel > 3 && (duration > 100000 || duration < -100000)) duration %= 100000;
    durations.push_back(duration);
  }
  polarity = 0;
  for (std::size_t at = 0; at < durations.size();) {
    std::size_t block = std::min<std::size_t>(durations.size() - at, 1 + data[at % size] % 64);
    polarity = DecodeRunBlock(durations.data() + at, block, polarity);
    at += block;
  }
  DrainOutput();
  SetOutputSink(nullptr);
  Require(Output == textRunByRun);
  Require(GroupTimes == timesRunByRun);
  Require(
      RunDecoder.DecoderState == runByRun.DecoderState &&
      RunDecoder.CellTotal == runByRun.CellTotal && RunDecoder.SyncCount == runByRun.SyncCount &&
      RunDecoder.FrameParity == runByRun.FrameParity && RunDecoder.PcmGroup == runByRun.PcmGroup &&
      RunDecoder.SymbolIndex == runByRun.SymbolIndex &&
      RunDecoder.GroupIndex == runByRun.GroupIndex);
  Require(PendingBits.BitWord == bitsRunByRun.BitWord &&
          PendingBits.BitCount == bitsRunByRun.BitCount &&
          PendingBits.RunLevel == bitsRunByRun.RunLevel);

  std::string_view text = Output;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    Require(KnownLine(line));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return 0;
}
