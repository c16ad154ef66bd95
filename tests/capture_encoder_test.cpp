// The encoder side: fields to symbols to bits to runs to durations, checked against the
// decoder's reading of them.
#include <gtest/gtest.h>

#include <cmath>

#include "decoder/run_decoder.h"
#include "encode/channel_frames.h"
#include "encode/synthesizer.h"
#include "tests/test_support.h"

namespace {

TEST(CaptureEncoder, JoinGroupIsTheInverseOfSplitGroup) {
  for (std::uint32_t aux = 0; aux < 4; ++aux) {
    for (std::uint32_t delta = 0; delta < 16; ++delta) {
      for (std::uint32_t position = 0; position < 1024; position += 7) {
        for (std::uint32_t ecc = 0; ecc < 256; ecc += 5) {
          PcmGroupSymbols symbols = JoinGroup({aux, delta, position, ecc});
          for (std::uint32_t s : symbols) ASSERT_LT(s, 64u);
          GroupFields back = SplitGroup(symbols);
          ASSERT_EQ(back.Aux, aux);
          ASSERT_EQ(back.Delta, delta);
          ASSERT_EQ(back.Position, position);
          ASSERT_EQ(back.Ecc, ecc);
        }
      }
    }
  }
}

TEST(CaptureEncoder, FramesHaveTheirLengthAndStartAtLevelZero) {
  BitStream odd, even;
  AppendFrame(odd, MakeFrame(OddFrame, 1, 1));
  AppendFrame(even, MakeFrame(EvenFrame, 1, 1));
  EXPECT_EQ(odd.size(), 166u);
  EXPECT_EQ(even.size(), 168u);
  CellRuns runs;
  AppendRunsAfterSync(runs, {1, 1, 0, 1});
  EXPECT_EQ(runs, (CellRuns{0, 2, 1, 1}));
}

TEST(CaptureEncoder, EdgeRoundingKeepsEveryRunInItsWindowUpToTheSafeJitter) {
  SeededRandom random(42);
  CellRuns cells;
  for (int i = 0; i < 200000; ++i) cells.push_back(static_cast<std::int32_t>(1 + random.Below(18)));
  for (double jitter : {0.0, 0.5, MaxSafeJitter}) {
    RunDurations durations = DurationsFromCells(cells, jitter, random);
    std::int64_t units = 0, total = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      ASSERT_EQ(CellsFromDuration(durations[i]), cells[i]) << "run " << i << " jitter " << jitter;
      units += durations[i];
      total += cells[i];
    }
    EXPECT_LE(std::abs(static_cast<double>(units) - static_cast<double>(total) * UnitsPerCell),
              jitter + 0.5);
  }
}

TEST(CaptureEncoder, DeltaTellsTheDirectionOfTheMove) {
  EXPECT_EQ(DeltaForMove(500, 500), 8u);
  EXPECT_EQ(DeltaForMove(500, 503), 11u);
  EXPECT_EQ(DeltaForMove(500, 900), 15u);
  EXPECT_EQ(DeltaForMove(500, 499), 7u);
  EXPECT_EQ(DeltaForMove(900, 0), 1u);
}

TEST(CaptureEncoder, EveryGlitchedFrameIsLostAndTheOthersDecode) {
  std::vector<ChannelRow> rows(300);
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i].fill(static_cast<std::int32_t>(100 + i));
  Impairments impairments;
  impairments.GlitchRate = 0.3;
  impairments.Seed = 9;
  impairments.Jitter = 0.8;
  SynthesizedCapture capture = SynthesizeCapture(FramesFromRows(rows, OddFrame, 0), impairments);
  ASSERT_GT(capture.GlitchedFrames, 50u);
  std::string text = DecodeToText(capture.Durations, 2);
  std::size_t frameEnds = 0, lost = 0;
  for (std::size_t at = 0; (at = text.find("------ Time=", at)) != std::string::npos; ++at)
    ++frameEnds;
  for (std::size_t at = 0; (at = text.find("=== INVALID PCM byte ===", at)) != std::string::npos;
       ++at)
    ++lost;
  for (std::size_t at = 0; (at = text.find("UNKNOWN", at)) != std::string::npos; ++at) ++lost;
  EXPECT_EQ(frameEnds, rows.size() - capture.GlitchedFrames);
  EXPECT_EQ(lost, capture.GlitchedFrames);
}

TEST(CaptureEncoder, GapsNeverLookLikeASync) {
  std::vector<ChannelRow> rows(10, ChannelRow{100, 200, 300, 400, 500, 600, 700, 800});
  Impairments impairments;
  impairments.GapMs = 18 * 0.15;  // exactly a sync's length, which must be avoided
  SynthesizedCapture capture = SynthesizeCapture(FramesFromRows(rows, EvenFrame, 3), impairments);
  std::string text = DecodeToText(capture.Durations, 3);
  std::size_t syncs = 0;
  for (std::size_t at = 0; (at = text.find("== SYNC", at)) != std::string::npos; ++at) ++syncs;
  EXPECT_EQ(syncs, rows.size());
  EXPECT_EQ(text.find("CHECK"), std::string::npos);
}

}  // namespace
