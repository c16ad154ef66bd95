// Number formatting and the duration-to-cells conversion, each against its defining formula.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "common/text_output.h"
#include "decoder/run_decoder.h"
#include "tests/test_support.h"

namespace {

template <typename Write>
std::string Capture(Write write) {
  CapturedOutput.clear();
  SetOutputSink(CaptureOutput);
  write();
  DrainOutput();
  SetOutputSink(nullptr);
  return CapturedOutput;
}

std::string Printf(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

TEST(NumberFormat, IntegersMatchPrintf) {
  const char* formats[] = {"%d", "%2d", "%3d", "%4d", "%04d"};
  const int widths[] = {0, 2, 3, 4, 4};
  const std::int32_t values[] = {0,
                                 5,
                                 -5,
                                 42,
                                 999,
                                 1023,
                                 12345,
                                 -123,
                                 std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max()};
  for (int f = 0; f < 5; ++f) {
    for (std::int32_t value : values) {
      char expected[32];
      std::snprintf(expected, sizeof expected, formats[f], value);
      char pad = formats[f][1] == '0' ? '0' : ' ';
      EXPECT_EQ(Capture([&] { WriteInt(value, widths[f], pad); }), expected)
          << formats[f] << " " << value;
    }
  }
}

TEST(NumberFormat, CellTimesMatchPrintfOfCellsTimesPointFifteen) {
  auto check = [](std::uint32_t cells) {
    EXPECT_EQ(Capture([&] { WriteCellTime(cells); }), Printf("%06.02f", cells * 0.15)) << cells;
  };
  for (std::uint32_t cells = 0; cells < 200000; ++cells) check(cells);
  for (std::uint32_t cells = 0xFFFFFFFFu; cells > 0xFFFFFFFFu - 200000; --cells) check(cells);
  for (std::uint64_t cells = 1; cells < 0xFFFFFFFFu; cells = cells * 3 + 7)
    check(static_cast<std::uint32_t>(cells));
}

TEST(CellsFromDuration, MatchesTheFloatingPointFormulaForEveryDuration) {
  EXPECT_EQ(CellScale, 0.15098897780462026);
  std::int64_t mismatches = 0;
  for (std::int64_t d = std::numeric_limits<std::int32_t>::min();
       d <= std::numeric_limits<std::int32_t>::max(); ++d) {
    auto duration = static_cast<std::int32_t>(d);
    auto expected = static_cast<std::int32_t>(std::floor(duration * CellScale + 0.5));
    mismatches += CellsFromDuration(duration) != expected;
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(CellsFromDuration, BoundariesOfTheRoundingWindows) {
  struct Window {
    std::int32_t first, last, cells;
  } windows[] = {{0, 3, 0},   {4, 9, 1},   {10, 16, 2}, {17, 23, 3},   {24, 29, 4},
                 {30, 36, 5}, {37, 43, 6}, {44, 49, 7}, {116, 122, 18}};
  for (const Window& w : windows) {
    EXPECT_EQ(CellsFromDuration(w.first), w.cells) << w.first;
    EXPECT_EQ(CellsFromDuration(w.last), w.cells) << w.last;
    if (w.cells > 0) {
      EXPECT_NE(CellsFromDuration(w.first - 1), w.cells) << w.first - 1;
    }
    EXPECT_NE(CellsFromDuration(w.last + 1), w.cells) << w.last + 1;
  }
  EXPECT_EQ(CellsFromDuration(-3), 0);
  EXPECT_EQ(CellsFromDuration(-4), -1);
  EXPECT_EQ(CellsFromDuration(std::numeric_limits<std::int32_t>::min()), -324246361);
  EXPECT_EQ(CellsFromDuration(std::numeric_limits<std::int32_t>::max()), 324246361);
}

}  // namespace
