// MorvantisCapture synth as a user runs it: from a CSV to a capture that decodes back.
#include <gtest/gtest.h>

#include <sstream>

#include "encode/channel_csv.h"
#include "tests/test_support.h"

namespace {

const std::string Tool = MORVANTIS_CAPTURE_BINARY;
const std::string Decoder = MORVANTIS_BINARY;

TEST(ChannelCsv, ReadsColumnsInAnyOrder) {
  std::istringstream in(
      "ch8,ch7,ch6,ch5,ch4,ch3,ch2,ch1\r\n\n 8 ,7,6,5,4,3,2,1\n1023,0,0,0,0,0,0,0\n");
  std::vector<ChannelRow> rows;
  ASSERT_EQ(ParseChannelCsv(in, "t.csv", rows), "");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (ChannelRow{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(rows[1][7], 1023);
}

TEST(ChannelCsv, EmptyValuesHoldTheLastPositionAndWaitForTheFirst) {
  // As a frame export writes it: ODD frames first carry channels 1, 3, 5 and 7 only.
  std::istringstream in(
      "end_ms,ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8\n"
      "27.6,10,,30,,50,,70,\n"
      "55.5,10,20,30,40,50,60,70,80\n"
      "83.4,11,,,,,,,\n");
  std::vector<ChannelRow> rows;
  ASSERT_EQ(ParseChannelCsv(in, "t.csv", rows), "");
  EXPECT_EQ(rows, (std::vector<ChannelRow>{{10, 20, 30, 40, 50, 60, 70, 80},
                                           {10, 20, 30, 40, 50, 60, 70, 80},
                                           {11, 20, 30, 40, 50, 60, 70, 80}}));
}

TEST(ChannelCsv, ErrorsSayWhere) {
  const std::string header = "ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8\n";
  struct Case {
    std::string text, error;
  } cases[] = {
      {"", "t.csv: no header row (expected ch1,...,ch8)"},
      {"ch1,ch2\n", "t.csv:1:1: the header has no column ch3 (it must name ch1 to ch8)"},
      {"ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch9\n",
       "t.csv:1:1: the header has no column ch8 (it must name ch1 to ch8)"},
      {"ch1,ch1,ch3,ch4,ch5,ch6,ch7,ch8\n", "t.csv:1:5: column ch1 appears twice"},
      {header + "1,2,3,4,5,6,7\n", "t.csv:2:1: expected 8 values, found 7"},
      {header + "1,2,3,4,x5,6,7,8\n", "t.csv:2:9: \"x5\" is not a whole number"},
      {header + "1,2,3,4,5,6,7,1024\n", "t.csv:2:15: position 1024 is outside 0 to 1023"},
      {header + ",2,3,4,5,6,7,8\n", "t.csv: column ch1 never has a value"},
      {header + "-1,2,3,4,5,6,7,8\n", "t.csv:2:1: position -1 is outside 0 to 1023"},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.text);
    std::vector<ChannelRow> rows;
    EXPECT_EQ(ParseChannelCsv(in, "t.csv", rows), c.error) << c.text;
  }
}

// Rows whose channels move up, down or stay, differently per channel.
std::string MovingCsv(int frames) {
  std::string csv = "ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8\n";
  for (int f = 0; f < frames; ++f) {
    for (int c = 0; c < 8; ++c) {
      int value = 100 + 90 * c + ((f / (c + 1)) % 3) * 5 * (c % 3 == 0 ? -1 : 1);
      csv += std::to_string(value) + (c < 7 ? "," : "\n");
    }
  }
  return csv;
}

TEST(SynthCommand, CsvRoundTripShowsPositionsAndDirections) {
  const int frames = 60;
  std::string csv = WriteTemporaryFile(MovingCsv(frames), ".csv");
  std::string capture = TemporaryPath(".cap");
  ProgramResult synth = RunCommand(Tool + " synth " + csv + " -o " + capture);
  ASSERT_EQ(synth.exitCode, 0) << synth.err;
  EXPECT_NE(synth.err.find("60 frames"), std::string::npos);

  // Independent expectation: each frame prints one line; ODD frames show channels 1, 3, 5, 7,
  // EVEN frames 2, 4, 6, 8, and the other columns show how the CSV value moved.
  std::istringstream rows(MovingCsv(frames));
  std::string line;
  std::getline(rows, line);
  std::vector<std::vector<int>> values;
  while (std::getline(rows, line)) {
    std::vector<int> row;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, ',');) row.push_back(std::stoi(cell));
    values.push_back(row);
  }
  std::string expected;
  for (int f = 0; f < frames; ++f) {
    for (int c = 0; c < 8; ++c) {
      bool carriesPosition = (c % 2) == (f % 2);
      int move = values[f][c] - values[f == 0 ? 0 : f - 1][c];
      expected += carriesPosition ? Format("%4d ", values[f][c])
                  : move < 0      ? "  D  "
                  : move == 0     ? "  -  "
                                  : "  U  ";
    }
    expected += "\n";
  }
  EXPECT_EQ(RunCommand(Decoder + " " + capture + " 0").out, expected + "Done\n");
  EXPECT_EQ(RunCommand(Decoder + " " + capture + " 3").out.find("CHECK"), std::string::npos);
}

TEST(SynthCommand, SafeJitterDecodesLikeNoJitter) {
  std::string clean = TemporaryPath(".cap"), jittered = TemporaryPath(".cap");
  ASSERT_EQ(RunCommand(Tool + " synth --pattern sweep --frames 400 -o " + clean).exitCode, 0);
  ASSERT_EQ(
      RunCommand(Tool + " synth --pattern sweep --frames 400 --jitter 1.15 --seed 3 -o " + jittered)
          .exitCode,
      0);
  EXPECT_NE(RunCommand("cmp -s " + clean + " " + jittered).exitCode, 0);
  EXPECT_EQ(RunCommand(Decoder + " " + jittered + " 3").out,
            RunCommand(Decoder + " " + clean + " 3").out);
}

TEST(SynthCommand, GlitchesAreReportedAndTheDecoderRecovers) {
  std::string capture = TemporaryPath(".cap");
  ASSERT_EQ(RunCommand(Tool + " synth --pattern steps --frames 200 --glitch-rate 0.1 --seed 5 -o " +
                       capture)
                .exitCode,
            0);
  std::string text = RunCommand(Decoder + " " + capture + " 2").out;
  std::size_t invalid = text.find("=== INVALID PCM byte ===");
  ASSERT_NE(invalid, std::string::npos);
  EXPECT_NE(text.find("------ Time=", invalid), std::string::npos);
}

TEST(SynthCommand, ErrorsLeaveNoOutputFile) {
  std::string badRow =
      WriteTemporaryFile("ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8\n1,2,3,4,5,6,7,2000\n", ".csv");
  struct Case {
    std::string arguments;
    int exitCode;
    std::string message;
  } cases[] = {
      {badRow, 1, ":2:15: position 2000 is outside 0 to 1023"},
      {"/nonexistent/values.csv", 1, "cannot open /nonexistent/values.csv"},
      {std::string(MORVANTIS_SOURCE_DIR), 1, "is a directory"},
      {"--pattern sweep --frames 0", 2, "frames"},
      {"--pattern zigzag", 2, "pattern"},
      {"--bogus", 2, "bogus"},
      {badRow + " --pattern sweep", 2, "not both"},
  };
  for (const Case& c : cases) {
    std::string output = TemporaryPath(".cap");
    ProgramResult r = RunCommand(Tool + " synth " + c.arguments + " -o " + output);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.arguments;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.arguments << ": " << r.err;
    EXPECT_FALSE(Exists(output)) << c.arguments;
  }
  ProgramResult unwritable = RunCommand(Tool + " synth --frames 3 -o /nonexistent/dir/out.cap");
  EXPECT_EQ(unwritable.exitCode, 1);
  EXPECT_NE(unwritable.err.find("/nonexistent/dir/out.cap"), std::string::npos);
}

TEST(SynthCommand, InterruptedRunLeavesNoPartialFile) {
  std::string directory = TemporaryPath(".dir");
  ASSERT_EQ(RunCommand("mkdir " + directory).exitCode, 0);
  std::string output = directory + "/big.cap";
  std::string synth = Tool + " synth --frames 400000 -o " + output;
  ASSERT_EQ(RunCommand(synth).exitCode, 0);
  std::string complete = RunCommand("wc -c < " + output).out;
  for (const char* delay : {"0.05", "0.3", "0.6", "0.9"}) {
    RunCommand("rm -f " + directory + "/*");
    RunCommand(synth + " & sleep " + delay + "; kill -TERM $! ; wait");
    // Either nothing at all or the whole file: never a temporary or a part.
    std::string files = RunCommand("ls -A " + directory).out;
    if (files.empty()) continue;
    EXPECT_EQ(files, "big.cap\n") << delay;
    EXPECT_EQ(RunCommand("wc -c < " + output).out, complete) << delay;
  }
  RunCommand("rm -rf " + directory);
}

}  // namespace
