// Group fields, channel assignment, the aux check line and the eight-channel display.
#include <gtest/gtest.h>

#include "channels/channel_display.h"
#include "channels/group_decoder.h"
#include "channels/group_fields.h"
#include "common/text_output.h"
#include "common/verbose_level.h"
#include "tests/test_support.h"

namespace {

// A display line from its eight columns: a number is a position, "D", "-" or "U" a delta mark.
std::string Line(std::initializer_list<std::string> columns) {
  std::string line;
  for (const std::string& c : columns)
    line += (c == "D" || c == "-" || c == "U") ? "  " + c + "  " : Format("%4s ", c.c_str());
  return line + "\n";
}

class GroupDecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetChannelDisplay();
    CapturedOutput.clear();
    SetOutputSink(CaptureOutput);
    VerboseLevel = 2;
  }
  void TearDown() override { SetOutputSink(nullptr); }

  // Feeds one group and returns what it printed.
  std::string Feed(int parity, std::uint32_t groupIndex, GroupFields fields) {
    CapturedOutput.clear();
    DecodeGroup(JoinGroup(fields), parity, groupIndex);
    DrainOutput();
    return CapturedOutput;
  }

  // Feeds a frame whose group g carries position 100 x (g + 1) + parity and the delta given.
  std::vector<std::string> FeedFrame(int parity, std::array<std::uint32_t, 4> deltas) {
    std::vector<std::string> printed;
    for (std::uint32_t g = 0; g < 4; ++g) {
      printed.push_back(Feed(parity, g, {ExpectedAux[g], deltas[g], 100 * (g + 1) + parity, 0}));
    }
    return printed;
  }
};

TEST_F(GroupDecoderTest, FieldsSplitFromTheSymbols) {
  GroupFields f = SplitGroup({40, 32, 0, 0});
  EXPECT_EQ(f.Aux, 2u);
  EXPECT_EQ(f.Delta, 8u);
  EXPECT_EQ(f.Position, 512u);
  EXPECT_EQ(f.Ecc, 0u);
  f = SplitGroup({63, 63, 63, 63});
  EXPECT_EQ(f.Aux, 3u);
  EXPECT_EQ(f.Delta, 15u);
  EXPECT_EQ(f.Position, 1023u);
  EXPECT_EQ(f.Ecc, 255u);
  f = SplitGroup({0, 1, 2, 5});  // position 16 + 0, ecc 2 x 64 + 5
  EXPECT_EQ(f.Position, 16u);
  EXPECT_EQ(f.Ecc, 133u);
}

TEST_F(GroupDecoderTest, GroupLineNamesChannelsByParityAndChecksAux) {
  VerboseLevel = 3;
  struct Case {
    int parity;
    std::uint32_t group;
    int positionChannel, deltaChannel;
  } cases[] = {{OddFrame, 0, 1, 2},  {OddFrame, 1, 3, 4},  {OddFrame, 2, 5, 6},
               {OddFrame, 3, 7, 8},  {EvenFrame, 0, 2, 1}, {EvenFrame, 1, 4, 3},
               {EvenFrame, 2, 6, 5}, {EvenFrame, 3, 8, 7}};
  for (const Case& c : cases) {
    for (std::uint32_t aux = 0; aux < 4; ++aux) {
      bool expectedAux = aux == (c.group % 2 == 0 ? 2u : 0u);
      EXPECT_EQ(Feed(c.parity, c.group, {aux, 8, 512, 17}),
                GroupLine(aux, 17, c.positionChannel, 512, c.deltaChannel, 8, expectedAux));
    }
  }
  // At level 3 the display is untouched.
  EXPECT_TRUE(ChannelDisplay.DisplayFresh);
}

TEST_F(GroupDecoderTest, FirstCompleteFrameShowsOneLineAfterItsFourthGroup) {
  std::vector<std::string> printed = FeedFrame(OddFrame, {8, 3, 12, 8});
  EXPECT_EQ(printed[0] + printed[1] + printed[2], "");
  EXPECT_EQ(printed[3], Line({"100", "-", "200", "D", "300", "U", "400", "-"}));
  printed = FeedFrame(EvenFrame, {9, 8, 1, 15});
  EXPECT_EQ(printed[3], Line({"U", "101", "-", "201", "D", "301", "U", "401"}));
}

TEST_F(GroupDecoderTest, ZeroDeltaMovesThePointWhereLinesArePrinted) {
  // Channel 8's delta is 0: 7 slots above 0, no line at the end of the ODD frame.
  EXPECT_EQ(FeedFrame(OddFrame, {8, 8, 8, 0})[3], "");
  // Group 0 of the EVEN frame brings 9 filled slots: positions of 1, 2, 3, 5, 7.
  std::vector<std::string> even = FeedFrame(EvenFrame, {9, 9, 9, 9});
  EXPECT_EQ(even[0], Line({"100", "101", "200", "-", "300", "-", "400", "D"}));
  EXPECT_EQ(even[1] + even[2] + even[3], "");
  // From then on a line follows group 0 of every frame, mixing the end of one frame and the
  // start of the next.
  std::vector<std::string> odd = FeedFrame(OddFrame, {3, 3, 3, 3});
  EXPECT_EQ(odd[0], Line({"100", "D", "U", "201", "U", "301", "U", "401"}));
  EXPECT_EQ(odd[1] + odd[2] + odd[3], "");
  EXPECT_EQ(FeedFrame(EvenFrame, {9, 9, 9, 9})[0],
            Line({"U", "101", "200", "D", "300", "D", "400", "D"}));
}

TEST_F(GroupDecoderTest, ZeroPositionCountsAsEmptyButIsShown) {
  Feed(OddFrame, 0, {2, 8, 0, 0});
  EXPECT_EQ(ChannelDisplay.ChannelPositions[0], 0);
  for (std::uint32_t g = 1; g < 4; ++g) EXPECT_EQ(Feed(OddFrame, g, {ExpectedAux[g], 8, 5, 0}), "");
  EXPECT_EQ(Feed(EvenFrame, 0, {2, 8, 6, 0}), Line({"0", "6", "5", "-", "5", "-", "5", "-"}));
}

TEST_F(GroupDecoderTest, FrameCutShortLeavesValuesForTheNextLine) {
  Feed(OddFrame, 0, {2, 9, 700, 0});  // then an invalid code word ends the frame
  std::vector<std::string> even = FeedFrame(EvenFrame, {8, 8, 8, 8});
  // Position 700 and delta 9 of the cut frame count too: 8 slots are filled after group 2.
  EXPECT_EQ(even[0] + even[1], "");
  EXPECT_EQ(even[2], Line({"700", "101", "-", "201", "-", "301", "D", "D"}));
}

TEST_F(GroupDecoderTest, SlotEmptyInBothTablesShowsD) {
  // ODD groups 0 to 2, then EVEN group 0: channels 7 and 8 were never stored.
  for (std::uint32_t g = 0; g < 3; ++g) Feed(OddFrame, g, {ExpectedAux[g], 9, 10, 0});
  std::string line = Feed(EvenFrame, 0, {2, 9, 20, 0});
  EXPECT_EQ(line, Line({"10", "20", "10", "U", "10", "U", "D", "D"}));
}

}  // namespace
