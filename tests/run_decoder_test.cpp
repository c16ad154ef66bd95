// The run decoder at levels 1 to 4: syncs, frame types, code words, groups and frame ends, on
// captures built from frame fields. Expected texts follow from the fields and the output rules.
#include <gtest/gtest.h>

#include <limits>

#include "common/text_output.h"
#include "common/verbose_level.h"
#include "decoder/pcm_byte_table.h"
#include "decoder/pending_bits.h"
#include "decoder/run_decoder.h"
#include "encode/channel_frames.h"
#include "encode/run_lengths.h"
#include "encode/signal_patterns.h"
#include "encode/synthesizer.h"
#include "tests/test_support.h"

namespace {

constexpr std::uint32_t OddFrameCells = 166;
constexpr std::uint32_t EvenFrameCells = 168;

// What a complete frame prints at level 3 (or 4 with `bits`), its sync line aside.
std::string FrameText(const FrameFields& frame, std::uint32_t endCells, bool bits) {
  std::string text = bits ? Bits(frame.Parity == OddFrame ? 3 : 0, 6) + " " : "";
  text += frame.Parity == OddFrame ? "FrameType: ODD. \n" : "FrameType: EVEN\n";
  if (frame.Parity == EvenFrame && bits)
    text += Bits(frame.EvenBits, 2) + " Meaning unknown (yet)\n";
  for (std::uint32_t g = 0; g < 4; ++g) {
    const GroupFields& f = frame.Groups[g];
    if (bits) {
      for (std::uint32_t symbol : GroupSymbols(f.Aux, f.Delta, f.Position, f.Ecc))
        text += std::string(CodeWordOfSymbol[symbol]) + "  => PCM byte " + Bits(symbol, 6) + "\n";
    }
    GroupChannels ch = ChannelsOfGroup(frame.Parity, g);
    text += GroupLine(f.Aux, f.Ecc, ch.PositionChannel, f.Position, ch.DeltaChannel, f.Delta,
                      f.Aux == ExpectedAux[g]);
  }
  return text + FrameEndLine(endCells);
}

TEST(CodeWordTable, HoldsEverySymbolOnceAmongTheWordsOfLongRuns) {
  int valid = 0;
  for (std::uint32_t code = 0; code < 1024; ++code) {
    bool runsOfTwo = true;
    for (std::uint32_t i = 0, length = 1; i < 10; ++i, ++length) {
      bool endOfRun = i == 9 || (((code >> (9 - i)) ^ (code >> (8 - i))) & 1);
      if (endOfRun) {
        runsOfTwo = runsOfTwo && length >= 2;
        length = 0;
      }
    }
    bool excluded = code == 0b0000000000 || code == 0b0000000011 || code == 0b1111111100 ||
                    code == 0b1111111111;
    EXPECT_EQ(PcmByteTable[code] != -1, runsOfTwo && !excluded) << code;
    if (PcmByteTable[code] != -1) ++valid;
  }
  EXPECT_EQ(valid, 64);
  EXPECT_EQ(PcmByteTable[0b0001100000], 56);
  EXPECT_EQ(PcmByteTable[0b1111111000], 0);
  EXPECT_EQ(PcmByteTable[0b0000000111], 63);
}

TEST(RunDecoder, OddAndEvenFramesAtLevelsThreeAndFour) {
  FrameFields odd = MakeFrame(OddFrame, 512, 8, 0);
  odd.Groups[1] = {3, 15, 1023, 255};  // aux mismatch in group 1
  FrameFields even = MakeFrame(EvenFrame, 77, 3, 129);
  even.EvenBits = 2;
  CellRuns cells;
  AppendSyncedFrame(cells, odd);
  AppendSyncedFrame(cells, even);
  RunDurations durations = Durations(cells);
  std::size_t secondSync = 0;
  for (std::size_t i = 1; i < cells.size(); ++i) {
    if (cells[i] == 18) secondSync = i;  // no run inside a frame is this long
  }
  std::uint32_t firstEnd = 18 + OddFrameCells;
  std::uint32_t secondEnd = firstEnd + 18 + EvenFrameCells;
  for (bool bits : {false, true}) {
    std::string expected = SyncLine(false, 18, 0) + FrameText(odd, firstEnd, bits) +
                           SyncLine(secondSync % 2 == 1, firstEnd + 18, 1) +
                           FrameText(even, secondEnd, bits);
    EXPECT_EQ(DecodeToText(durations, bits ? 4 : 3), expected) << "level " << (bits ? 4 : 3);
  }
  EXPECT_EQ(DecodeToText(durations, 9), DecodeToText(durations, 4));
}

TEST(RunDecoder, EvenFrameTypeWithSevenOrEightBitsPending) {
  // 7 zeros: the type is taken and one bit waits; the next run completes the extra bits.
  EXPECT_EQ(DecodeToText(Durations({18, 7, 3}), 4),
            SyncLine(false, 18, 0) + "000000 FrameType: EVEN\n01 Meaning unknown (yet)\n");
  // 8 zeros: type and extra bits in the same call.
  EXPECT_EQ(DecodeToText(Durations({18, 8}), 4),
            SyncLine(false, 18, 0) + "000000 FrameType: EVEN\n00 Meaning unknown (yet)\n");
  EXPECT_EQ(DecodeToText(Durations({18, 8}), 3), SyncLine(false, 18, 0) + "FrameType: EVEN\n");
}

TEST(RunDecoder, UnknownFrameTypeIsReportedFromLevelTwo) {
  // 0 cells so the type starts with 1: 111 000 = 56.
  RunDurations durations = Durations({18, 0, 3, 3});
  EXPECT_EQ(DecodeToText(durations, 1), "");
  EXPECT_EQ(DecodeToText(durations, 2), "FrameType: UNKNOWN (56)  CHECK\n");
  EXPECT_EQ(DecodeToText(durations, 4),
            SyncLine(false, 18, 0) + "111000 FrameType: UNKNOWN (56)  CHECK\n");
}

TEST(RunDecoder, InvalidCodeWordDropsTheFrameAtEveryLevel) {
  struct Case {
    int invalidWord;  // 0-based code word replaced by 0101010101
    int groupsShown;
  } cases[] = {{2, 0}, {4, 1}, {15, 3}};
  for (const Case& c : cases) {
    FrameFields frame = MakeFrame(OddFrame, 300, 9);
    BitStream bits;
    AppendFrame(bits, frame);
    for (int i = 0; i < 10; ++i)
      bits[6 + c.invalidWord * 10 + i] = static_cast<std::uint8_t>(i % 2);
    CellRuns cells{18};
    AppendRunsAfterSync(cells, bits);
    std::size_t nextSync = cells.size();
    AppendSyncedFrame(cells, frame);  // the next frame decodes in full
    RunDurations durations = Durations(cells);

    std::string expected = SyncLine(false, 18, 0) + "FrameType: ODD. \n";
    for (int g = 0; g < c.groupsShown; ++g) {
      GroupChannels ch = ChannelsOfGroup(OddFrame, static_cast<std::uint32_t>(g));
      expected += GroupLine(ExpectedAux[g], 0, ch.PositionChannel, 300, ch.DeltaChannel, 9, true);
    }
    expected += "=== INVALID PCM byte ===\n";
    std::uint32_t secondStart = 18 + OddFrameCells + 18;
    expected += SyncLine(nextSync % 2 == 1, secondStart, 1) +
                FrameText(frame, secondStart + OddFrameCells, false);
    EXPECT_EQ(DecodeToText(durations, 3), expected) << "invalid word " << c.invalidWord;
    EXPECT_EQ(DecodeToText(durations, 1).substr(0, 25), "=== INVALID PCM byte ===\n");
    EXPECT_NE(DecodeToText(durations, 4).find("0101010101 === INVALID PCM byte ===\n"),
              std::string::npos);
  }
}

TEST(RunDecoder, GroupsBeforeAnInvalidWordAreStillDecoded) {
  FrameFields frame = MakeFrame(OddFrame, 300, 9);
  BitStream bits;
  AppendFrame(bits, frame);
  for (int i = 0; i < 10; ++i) bits[6 + 4 * 10 + i] = 1;  // fifth word 1111111111
  CellRuns cells{18};
  AppendRunsAfterSync(cells, bits);
  std::string text = DecodeToText(Durations(cells), 3);
  EXPECT_EQ(text, SyncLine(false, 18, 0) + "FrameType: ODD. \n" +
                      GroupLine(2, 0, 1, 300, 2, 9, true) + "=== INVALID PCM byte ===\n");
}

TEST(RunDecoder, OnlyEighteenCellsInSeekSyncIsASync) {
  EXPECT_EQ(DecodeToText(Durations({17, 19, 3}), 3), "");
  // After the sync, 18 cells is data: 18 zeros give an EVEN type and a word of zeros (invalid).
  EXPECT_EQ(DecodeToText(Durations({18, 18}), 3),
            SyncLine(false, 18, 0) + "FrameType: EVEN\n=== INVALID PCM byte ===\n");
  // A sync after 105 cells is timed with its own cells: 123 x 0.15 ms.
  EXPECT_EQ(DecodeToText(Durations({50, 55, 18}), 3), SyncLine(false, 123, 0));
}

TEST(RunDecoder, LongIdleStretchIsDrainedTenBitsPerRunAndFlushedAtTheSync) {
  // 25 zeros: 10 drained, 15 pending; then 4 ones: 10 drained; 9 flushed at the sync.
  std::string expected =
      "0000000000"
      "0000000000"
      "000001111" +
      SyncLine(false, 47, 0);
  EXPECT_EQ(DecodeToText(Durations({25, 4, 18}), 4), expected);
}

TEST(RunDecoder, FirstRunAfterASyncIsLevelZeroWhateverItsPolarity) {
  // The 1-cell run before the sync is a 0-bit flushed by it; the ones after the sync are zeros.
  EXPECT_EQ(DecodeToText(Durations({1, 18, 6}), 4),
            std::string("0") + SyncLine(true, 19, 0) + "000000 FrameType: EVEN\n");
  EXPECT_EQ(DecodeToText(Durations({2, 1, 18, 6}), 4),
            std::string("001") + SyncLine(false, 21, 0) + "000000 FrameType: EVEN\n");
}

TEST(RunDecoder, SixteenthWordClosesTheFrameAndLaterBitsAreDrained) {
  FrameFields frame = MakeFrame(OddFrame, 100, 8);
  CellRuns cells;
  AppendSyncedFrame(cells, frame);
  cells.push_back(12);  // stays pending after the frame, drained in SeekSync
  std::string text = DecodeToText(Durations(cells), 3);
  EXPECT_EQ(text, SyncLine(false, 18, 0) + FrameText(frame, 18 + OddFrameCells, false));
}

TEST(RunDecoder, SyncCounterWrapsLikeAThirtyTwoBitInteger) {
  DecodeToText({}, 3);
  SetOutputSink(DiscardOutput);
  RunDecoder.SyncCount = std::numeric_limits<std::int32_t>::max();
  VerboseLevel = 3;
  DecodeRun(119, 0);
  EXPECT_EQ(RunDecoder.SyncCount, std::numeric_limits<std::int32_t>::min());
  SetOutputSink(nullptr);
}

TEST(RunDecoder, ExtremeDurationsKeepFieldsInRange) {
  RunDurations durations;
  for (int i = 0; i < 50; ++i) {
    durations.push_back(std::numeric_limits<std::int32_t>::min());
    durations.push_back(119);
    durations.push_back(std::numeric_limits<std::int32_t>::max());
    durations.push_back(-4);
    durations.push_back(40);
  }
  std::string text = DecodeToText(durations, 3);
  EXPECT_NE(text.find("== SYNC = POS"), std::string::npos);
  EXPECT_LT(PendingBits.BitWord, 0xFFFFFFFFu + 1ull);
  EXPECT_TRUE(RunDecoder.DecoderState == SeekSync || RunDecoder.DecoderState == FrameTypeField ||
              RunDecoder.DecoderState == EvenExtraBits || RunDecoder.DecoderState == PcmBytes);
}

}  // namespace

namespace {

// The cell total once the run holding bit `bit` of the frame that follows the sync run at
// `syncRun` has been decoded: what the decoder has counted when that bit completes a field.
std::uint32_t CellsThroughBit(const CellRuns& cells, std::size_t syncRun, std::uint32_t bit) {
  std::uint32_t total = 0, bits = 0;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    total += static_cast<std::uint32_t>(cells[i]);
    if (i <= syncRun) continue;
    bits += static_cast<std::uint32_t>(cells[i]);
    if (bits > bit) return total;
  }
  return total;
}

// The events of a complete frame after the sync run at `syncRun`, from its fields and the rules.
std::vector<std::string> FrameEvents(const CellRuns& cells, std::size_t syncRun,
                                     const FrameFields& frame, std::uint32_t syncIndex) {
  std::uint32_t atSync = 0;  // the sync run's own cells are counted first
  for (std::size_t i = 0; i <= syncRun; ++i) atSync += static_cast<std::uint32_t>(cells[i]);
  bool odd = frame.Parity == OddFrame;
  std::uint32_t header = odd ? 6 : 8;
  std::vector<std::string> events = {
      Format("sync %u %d %u", atSync, static_cast<int>(syncRun % 2), syncIndex),
      Format("type %u %s %u", CellsThroughBit(cells, syncRun, 5), odd ? "odd" : "even",
             odd ? 3u : 0u)};
  for (std::uint32_t g = 0; g < GroupsPerFrame; ++g) {
    PcmGroupSymbols s = JoinGroup(frame.Groups[g]);
    events.push_back(Format("group %u %u %u %u %u %d %u",
                            CellsThroughBit(cells, syncRun, header + 40 * g + 39), s[0], s[1], s[2],
                            s[3], frame.Parity, g));
  }
  events.push_back(Format("end %u", CellsThroughBit(cells, syncRun, header + 159)));
  return events;
}

TEST(DecoderEvents, EachComesWithTheRunThatCompletesItsField) {
  FrameFields odd = MakeFrame(OddFrame, 700, 3, 17);
  FrameFields even = MakeFrame(EvenFrame, 5, 12, 200);
  even.EvenBits = 2;

  CellRuns frames{4};  // an idle run first, so the first sync has polarity 1
  AppendSyncedFrame(frames, odd);
  std::size_t evenSync = frames.size();
  AppendSyncedFrame(frames, even);
  std::vector<std::string> expected = FrameEvents(frames, 1, odd, 0);
  for (const std::string& event : FrameEvents(frames, evenSync, even, 1)) expected.push_back(event);

  BitStream bits;
  AppendFrame(bits, odd);
  for (int i = 0; i < 10; ++i) bits[6 + 20 + i] = static_cast<std::uint8_t>(i % 2);  // 0101010101
  CellRuns broken{18};
  AppendRunsAfterSync(broken, bits);

  struct Case {
    const char* Name;
    CellRuns Cells;
    std::vector<std::string> Expected;
  } cases[] = {
      {"an ODD then an EVEN frame", frames, expected},
      {"an invalid third code word",
       broken,
       {"sync 18 0 0", Format("type %u odd 3", CellsThroughBit(broken, 0, 5)),
        Format("invalid %u 341", CellsThroughBit(broken, 0, 6 + 29))}},
      {"an unknown frame type", {18, 0, 3, 3}, {"sync 18 0 0", "type 24 unknown 56"}},
      {"no sync", {17, 19, 3, 40}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeToEvents(Durations(c.Cells)), c.Expected) << c.Name;
  }
}

}  // namespace
