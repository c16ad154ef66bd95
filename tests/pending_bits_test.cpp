// The pending-bit accumulator: runs in, oldest bits out, exact at the 32-bit edge.
#include <gtest/gtest.h>

#include "common/text_output.h"
#include "decoder/pending_bits.h"
#include "tests/test_support.h"

namespace {

class PendingBitsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearBits();
    CapturedOutput.clear();
    SetOutputSink(CaptureOutput);
  }
  void TearDown() override { SetOutputSink(nullptr); }
  std::string Output() {
    DrainOutput();
    return CapturedOutput;
  }
};

TEST_F(PendingBitsTest, RunsAlternateLevelsStartingAtZero) {
  for (int cells : {3, 2, 5}) AppendRun(cells);
  EXPECT_EQ(PendingBits.BitCount, 10u);
  EXPECT_EQ(TakeBits(10, true, " "), 0b0001100000u);
  EXPECT_EQ(PendingBits.BitCount, 0u);
  EXPECT_EQ(Output(), "0001100000 ");
}

TEST_F(PendingBitsTest, TakeLeavesTheNewestBits) {
  for (int cells : {2, 4, 3, 3}) AppendRun(cells);  // 00 1111 000 111
  EXPECT_EQ(TakeBits(10, false, ""), 0b0011110001u);
  EXPECT_EQ(PendingBits.BitCount, 2u);
  EXPECT_EQ(PendingBits.BitWord, 0b11u);
  EXPECT_EQ(Output(), "");
}

TEST_F(PendingBitsTest, FlushOfMoreThan32BitsPrintsLeadingZeros) {
  AppendRun(8);   // 0 x 8, only kept as zeros above the newest 32
  AppendRun(32);  // 1 x 32
  EXPECT_EQ(PendingBits.BitCount, 40u);
  EXPECT_EQ(TakeBits(PendingBits.BitCount, true, ""), 0xFFFFFFFFu);
  EXPECT_EQ(Output(), std::string(8, '0') + std::string(32, '1'));
  EXPECT_EQ(PendingBits.BitCount, 0u);
}

TEST_F(PendingBitsTest, TakeThatLeaves32OrMoreReturnsZeroAndKeepsTheWord) {
  AppendRun(5);
  AppendRun(40);
  std::uint32_t word = PendingBits.BitWord;
  EXPECT_EQ(TakeBits(10, false, ""), 0u);
  EXPECT_EQ(PendingBits.BitCount, 35u);
  EXPECT_EQ(PendingBits.BitWord, word);
}

TEST_F(PendingBitsTest, EmptyFlushPrintsOnlyTheSuffix) {
  EXPECT_EQ(TakeBits(PendingBits.BitCount, true, "!"), 0u);
  EXPECT_EQ(Output(), "!");
}

TEST_F(PendingBitsTest, ZeroAndNegativeRunsOnlyInvertTheLevel) {
  for (int cells : {0, -1, -5000}) {
    PendingBitsState before = PendingBits;
    AppendRun(cells);
    EXPECT_EQ(PendingBits.BitWord, before.BitWord);
    EXPECT_EQ(PendingBits.BitCount, before.BitCount);
    EXPECT_EQ(PendingBits.RunLevel, ~before.RunLevel);
  }
}

TEST_F(PendingBitsTest, CountWrapsAndFieldsStayWithinTheirWidth) {
  // 2^32 + 5 bits, the last run of ones: the count wraps to 5 with a word full of ones.
  for (int i = 0; i < 13; ++i) AppendRun(324'246'361);
  AppendRun(79'764'608);
  EXPECT_EQ(PendingBits.BitCount, 5u);
  EXPECT_EQ(PendingBits.BitWord, 0b11111u);
  AppendRun(7);
  EXPECT_EQ(TakeBits(10, false, ""), 0b1111100000u);
}

TEST_F(PendingBitsTest, LongRunFillsTheWordWithItsLevel) {
  AppendRun(1);
  AppendRun(1000);
  EXPECT_EQ(PendingBits.BitWord, 0xFFFFFFFFu);
  EXPECT_EQ(PendingBits.BitCount, 1001u);
}

TEST_F(PendingBitsTest, PrintBitsFormats) {
  struct Case {
    std::uint32_t value, count;
    std::string suffix, expected;
  } cases[] = {
      {5, 6, "\n", "000101\n"},
      {123, 0, " ", " "},
      {0x80000001u, 32, "", "10000000000000000000000000000001"},
      {0xFFFFFFFFu, 34, "x", "0011111111111111111111111111111111x"},
  };
  for (const Case& c : cases) {
    CapturedOutput.clear();
    PrintBits(c.value, c.count, c.suffix);
    EXPECT_EQ(Output(), c.expected) << c.value << "/" << c.count;
  }
}

TEST_F(PendingBitsTest, MillionsOfDigitsAreExact) {
  AppendRun(5);
  AppendRun(3'000'000);
  TakeBits(PendingBits.BitCount, true, "");
  std::string out = Output();
  ASSERT_EQ(out.size(), 3'000'005u);
  EXPECT_EQ(out.find('1'), 3'000'005u - 32);
  EXPECT_EQ(out.find('0', out.find('1')), std::string::npos);
}

}  // namespace
