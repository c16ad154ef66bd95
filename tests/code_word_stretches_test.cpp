// Block decoding, as Morvantis reads a file, against single runs: the same text, the same events
// (syncs, frame types, invalid words, groups, frame ends) at the same cell totals, and the same
// state afterwards, whatever the block size and
// whatever odd runs the capture holds. (Runs of millions of cells, which at level 4 print
// millions of digits, are left to the decoder's own tests.)
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "channels/channel_display.h"
#include "channels/group_decoder.h"
#include "common/text_output.h"
#include "common/verbose_level.h"
#include "decoder/decoder_events.h"
#include "decoder/decoder_setup.h"
#include "decoder/pending_bits.h"
#include "decoder/run_decoder.h"
#include "encode/channel_frames.h"
#include "encode/seeded_random.h"
#include "encode/signal_patterns.h"
#include "encode/synthesizer.h"
#include "tests/test_support.h"

namespace {

struct DecodeResult {
  std::string Text;
  std::vector<std::string> Events;
  RunDecoderState Decoder;
  PendingBitsState Bits;
};

// Decodes from a fresh state, in blocks of `blockSize` runs, or run by run when it is 0.
DecodeResult Decode(const RunDurations& durations, std::int32_t level, std::size_t blockSize) {
  CapturedOutput.clear();
  std::vector<std::string> events;
  DecoderSetup setup(level, CaptureOutput, EventRecorder(events));
  ResetChannelDisplay();
  Polarity polarity = 0;
  for (std::size_t at = 0; at < durations.size();) {
    if (blockSize == 0) {
      DecodeRun(durations[at++], polarity);
      polarity ^= 1;
      continue;
    }
    std::size_t count = std::min(blockSize, durations.size() - at);
    polarity = DecodeRunBlock(durations.data() + at, count, polarity);
    at += count;
  }
  DrainOutput();
  return {CapturedOutput, events, RunDecoder, PendingBits};
}

// Frames of moving values, with jitter and some broken code words.
RunDurations MovingFrames() {
  std::vector<ChannelRow> rows = PatternRows(SignalPattern::Sweep, 300);
  Impairments impairments;
  impairments.GlitchRate = 0.05;
  impairments.Jitter = 1.0;
  return SynthesizeCapture(FramesFromRows(rows, OddFrame, 1), impairments).Durations;
}

// The frames with `count` runs drawn from `choices` put in at seeded places.
RunDurations WithRunsInserted(std::vector<std::int32_t> choices, int count) {
  RunDurations durations = MovingFrames();
  SeededRandom random(static_cast<std::uint64_t>(choices.front()) + 99);
  for (int i = 0; i < count; ++i) {
    std::size_t at = random.Below(durations.size());
    durations.insert(durations.begin() + static_cast<std::ptrdiff_t>(at),
                     choices[random.Below(choices.size())]);
  }
  return durations;
}

struct BlockCase {
  const char* Name;
  RunDurations Durations;
};

TEST(RunBlockDecoder, DecodesLikeSingleRuns) {
  const BlockCase cases[] = {
      {"clean frames", MovingFrames()},
      {"runs of 0 cells", WithRunsInserted({0, 1, 2, 3}, 60)},
      {"runs of 11 to 19 cells", WithRunsInserted({70, 80, 99, 106, 119, 125, 129}, 200)},
      {"runs beyond the cell table", WithRunsInserted({1023, 1024, 40000, 99999}, 40)},
      {"negative runs", WithRunsInserted({-1, -4, -5, -1000, -99999}, 40)},
      {"short runs", WithRunsInserted({4, 6, 10}, 300)},
  };
  for (const BlockCase& c : cases) {
    for (std::int32_t level : {0, 2, 3, 4}) {
      DecodeResult single = Decode(c.Durations, level, 0);
      ASSERT_GT(std::count_if(single.Events.begin(), single.Events.end(),
                              [](const std::string& e) { return e.starts_with("group"); }),
                100)
          << c.Name;
      for (std::size_t blockSize : {1, 5, 37, 16384}) {
        DecodeResult blocks = Decode(c.Durations, level, blockSize);
        std::string where = std::string(c.Name) + ", level " + std::to_string(level) +
                            ", blocks of " + std::to_string(blockSize);
        // The texts are long; a failure names where they part.
        auto parting = std::mismatch(blocks.Text.begin(), blocks.Text.end(), single.Text.begin(),
                                     single.Text.end());
        EXPECT_TRUE(blocks.Text == single.Text)
            << where << ": the texts part at byte " << (parting.first - blocks.Text.begin());
        EXPECT_EQ(blocks.Events, single.Events) << where;
        EXPECT_EQ(blocks.Decoder.DecoderState, single.Decoder.DecoderState) << where;
        EXPECT_EQ(blocks.Decoder.CellTotal, single.Decoder.CellTotal) << where;
        EXPECT_EQ(blocks.Decoder.SymbolIndex, single.Decoder.SymbolIndex) << where;
        EXPECT_EQ(blocks.Decoder.GroupIndex, single.Decoder.GroupIndex) << where;
        EXPECT_EQ(blocks.Decoder.PcmGroup, single.Decoder.PcmGroup) << where;
        EXPECT_EQ(blocks.Bits.BitWord, single.Bits.BitWord) << where;
        EXPECT_EQ(blocks.Bits.BitCount, single.Bits.BitCount) << where;
        EXPECT_EQ(blocks.Bits.RunLevel, single.Bits.RunLevel) << where;
      }
    }
  }
}

}  // namespace
