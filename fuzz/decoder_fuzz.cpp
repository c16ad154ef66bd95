// Fuzz target: the whole decoder. The first byte picks the verbose level (-1 to 5), the rest are
// run durations; every input starts from a fresh decoder. Checks what the decoder promises:
// symbols and fields within their widths, a known state, pending bits within their count, and
// output made only of the lines the decoder defines, and events that agree with the state. The
// same input decoded in blocks, as the program reads a file, must print the same, fire the same
// events at the same cell totals and end in the same state.
#include <algorithm>
#include <array>
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
#include "decoder/decoder_setup.h"
#include "decoder/pending_bits.h"
#include "decoder/run_decoder.h"

namespace {

std::string Output;
// Every event, in order: its kind, the cell total it came at and its values.
std::vector<std::array<std::uint32_t, 8>> Events;

bool Collect(const char* data, std::size_t size) {
  Output.append(data, size);
  return true;
}

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckGroup(void*, std::uint32_t cells, const PcmGroupSymbols& group, int parity,
                std::uint32_t groupIndex) {
  for (std::uint32_t symbol : group) Require(symbol < 64);
  Require(parity == OddFrame || parity == EvenFrame);
  Require(groupIndex < GroupsPerFrame);
  GroupFields fields = SplitGroup(group);
  Require(fields.Aux < 4 && fields.Delta < 16 && fields.Position < 1024 && fields.Ecc < 256);
  Require(cells == RunDecoder.CellTotal);
  Events.push_back({4, cells, group[0], group[1], group[2], group[3],
                    static_cast<std::uint32_t>(parity), groupIndex});
  DecodeGroup(group, parity, groupIndex);
}

const DecoderEvents Checks = {
    nullptr,
    [](void*, std::uint32_t cells, Polarity polarity, std::uint32_t sync) {
      Require(RunDecoder.DecoderState == FrameTypeField && RunDecoder.SyncsFound == sync);
      Events.push_back({0, cells, static_cast<std::uint32_t>(polarity), sync});
    },
    [](void*, std::uint32_t cells, FrameTypeKind kind, std::uint32_t value) {
      Require(value < 64);
      Require((kind == FrameTypeKind::Odd) == (value == 3));
      Require((kind == FrameTypeKind::Even) == (value == 0));
      Events.push_back({1, cells, static_cast<std::uint32_t>(kind), value});
    },
    [](void*, std::uint32_t cells, std::uint32_t word) {
      Require(word < 1024 && RunDecoder.DecoderState == SeekSync);
      Events.push_back({2, cells, word});
    },
    CheckGroup,
    [](void*, std::uint32_t cells) {
      Require(RunDecoder.GroupIndex == GroupsPerFrame && RunDecoder.DecoderState == SeekSync);
      Events.push_back({3, cells});
    },
};

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
  Output.clear();
  Events.clear();
  DecoderSetup setup(static_cast<std::int32_t>(data[0] % 7) - 1, Collect, Checks);
  ResetChannelDisplay();

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
  auto eventsRunByRun = Events;

  // Again in blocks whose sizes follow the data.
  setup.Restart();
  ResetChannelDisplay();
  Output.clear();
  Events.clear();
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
  Require(Output == textRunByRun);
  Require(Events == eventsRunByRun);
  Require(
      RunDecoder.DecoderState == runByRun.DecoderState &&
      RunDecoder.CellTotal == runByRun.CellTotal && RunDecoder.SyncCount == runByRun.SyncCount &&
      RunDecoder.FrameParity == runByRun.FrameParity && RunDecoder.PcmGroup == runByRun.PcmGroup &&
      RunDecoder.SymbolIndex == runByRun.SymbolIndex &&
      RunDecoder.GroupIndex == runByRun.GroupIndex);
  Require(PendingBits.BitWord == bitsRunByRun.BitWord &&
          PendingBits.BitCount == bitsRunByRun.BitCount &&
          PendingBits.RunLevel == bitsRunByRun.RunLevel);

  // The events tell what the printed lines tell.
  auto occurrences = [](std::string_view pattern) {
    std::size_t count = 0;
    for (std::size_t at = Output.find(pattern); at != std::string::npos;
         at = Output.find(pattern, at + 1))
      ++count;
    return count;
  };
  auto events = [](std::uint32_t kind) {
    return static_cast<std::size_t>(std::count_if(
        Events.begin(), Events.end(), [kind](const auto& event) { return event[0] == kind; }));
  };
  Require(occurrences("=== INVALID PCM byte ===") == events(2));
  if (VerboseLevel > 2) Require(occurrences("== SYNC = ") == events(0));
  if (VerboseLevel > 1) Require(occurrences("------ Time=") == events(3));

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
