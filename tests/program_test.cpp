// The Morvantis program as a user runs it: arguments, files, exit codes and whole captures.
#include <gtest/gtest.h>

#include <limits>

#include "app/verbose_level_argument.h"
#include "files/capture_file.h"
#include "tests/test_support.h"

namespace {

const std::string Program = MORVANTIS_BINARY;
const std::string Usage = "Usage:\n Morvantis FileName VerboseLevel(0-5)\n";

std::string CaptureFile(const RunDurations& durations) {
  std::string path = TemporaryPath(".cap");
  EXPECT_EQ(WriteCaptureFile(path, durations), "");
  return path;
}

ProgramResult Decode(const std::string& path, const std::string& level) {
  return RunCommand(Program + " '" + path + "' '" + level + "'");
}

TEST(VerboseLevelArgument, ParsesLikeTheCommandLineDefines) {
  struct Case {
    const char* text;
    std::int32_t level;
  } cases[] = {{"abc", 0},
               {"3x", 3},
               {" -2", -2},
               {"+4", 4},
               {"\t\n\v\f\r 7", 7},
               {"", 0},
               {"--3", 0},
               {"+-3", 0},
               {"- 3", 0},
               {"007", 7},
               {"4294967299", 3},
               {"-4294967295", 1},
               {"2147483648", std::numeric_limits<std::int32_t>::min()},
               {"99999999999999999999", 1661992959}};
  for (const Case& c : cases) EXPECT_EQ(ParseVerboseLevel(c.text), c.level) << '"' << c.text << '"';
}

TEST(Program, UsageWithFewerThanTwoArguments) {
  std::string existing = WriteTemporaryFile("");
  for (const std::string& arguments : {std::string(""), existing}) {
    ProgramResult r = RunCommand(Program + " " + arguments);
    EXPECT_EQ(r.out, Usage);
    EXPECT_EQ(r.exitCode, 1);
  }
}

TEST(Program, OpenAndReadErrors) {
  std::string missing = TemporaryPath(".cap");
  ProgramResult r = Decode(missing, "2");
  EXPECT_EQ(r.out, "ERROR opening file \"" + missing + "\"\n");
  EXPECT_EQ(r.exitCode, 1);

  // A directory opens but cannot be read: that is a failure, never "Done".
  r = Decode(MORVANTIS_SOURCE_DIR, "2");
  EXPECT_EQ(r.out, std::string("ERROR reading file \"") + MORVANTIS_SOURCE_DIR + "\"\n");
  EXPECT_EQ(r.exitCode, 1);
}

TEST(Program, EmptyFileAndTrailingBytes) {
  std::string empty = WriteTemporaryFile("");
  for (const char* level : {"-1", "0", "2", "3", "4"}) {
    ProgramResult r = Decode(empty, level);
    EXPECT_EQ(r.out, "Done\n");
    EXPECT_EQ(r.exitCode, 0);
  }
  // 7 bytes: one record (119 units, a sync) and 3 bytes too few for another.
  std::string seven = WriteTemporaryFile(std::string("\x77\x00\x00\x00\x01\x02\x03", 7));
  EXPECT_EQ(Decode(seven, "3").out, SyncLine(false, 18, 0) + "Done\n");
}

TEST(Program, ArgumentsPastTheSecondAreIgnoredAndLevelTextIsParsed) {
  std::string path = CaptureFile(Durations({18}));
  EXPECT_EQ(RunCommand(Program + " " + path + " 3 extra words").out,
            SyncLine(false, 18, 0) + "Done\n");
  EXPECT_EQ(RunCommand(Program + " " + path + " 3x").out, SyncLine(false, 18, 0) + "Done\n");
  EXPECT_EQ(RunCommand(Program + " " + path + " abc").out, "Done\n");
}

TEST(Program, PolarityFollowsTheRecordIndexAcrossBlocks) {
  for (std::size_t before : {99u, 100u, 101u, 16383u, 16384u, 16385u, 40000u}) {
    CellRuns cells(before, 2);
    cells.push_back(18);
    std::string path = CaptureFile(Durations(cells));
    EXPECT_EQ(Decode(path, "3").out,
              SyncLine(before % 2 == 1, static_cast<std::uint32_t>(2 * before + 18), 0) + "Done\n")
        << before << " runs before the sync";
  }
}

TEST(Program, PipeDecodesLikeTheFile) {
  CellRuns cells;
  AppendSyncedFrame(cells, MakeFrame(OddFrame, 600, 9));
  AppendSyncedFrame(cells, MakeFrame(EvenFrame, 400, 7));
  std::string path = CaptureFile(Durations(cells));
  ProgramResult fromFile = Decode(path, "4");
  ProgramResult fromPipe = RunCommand("cat " + path + " | " + Program + " /dev/stdin 4");
  EXPECT_EQ(fromPipe.out, fromFile.out);
  EXPECT_EQ(fromPipe.exitCode, 0);
}

TEST(Program, FailedStandardOutputIsAnError) {
  CellRuns cells;
  for (int i = 0; i < 2000; ++i) AppendSyncedFrame(cells, MakeFrame(i % 2, 300, 8));
  std::string path = CaptureFile(Durations(cells));
  for (const char* level : {"0", "4"}) {
    ProgramResult r = RunCommand(Program + " " + path + " " + level + " >/dev/full");
    EXPECT_EQ(r.exitCode, 1) << level;
    EXPECT_NE(r.err.find("cannot write to standard output"), std::string::npos) << level;
  }
}

// Frames with values above 0, alternating parity, each frame's values a little different.
std::vector<FrameFields> MovingFrames(int count) {
  std::vector<FrameFields> frames;
  for (int i = 0; i < count; ++i) {
    FrameFields frame;
    frame.Parity = i % 2;
    frame.EvenBits = static_cast<std::uint32_t>(i % 4);
    for (std::uint32_t g = 0; g < 4; ++g) {
      frame.Groups[g] = {ExpectedAux[g], 1 + static_cast<std::uint32_t>(i + 3 * g) % 15,
                         static_cast<std::uint32_t>(50 + 97 * i + 211 * g) % 1000 + 1,
                         (7u * i + g) % 256};
    }
    frames.push_back(frame);
  }
  return frames;
}

// The display line of a complete frame that starts on an empty display.
std::string DisplayLine(const FrameFields& frame) {
  std::string columns[8];
  for (std::uint32_t g = 0; g < 4; ++g) {
    GroupChannels ch = ChannelsOfGroup(frame.Parity, g);
    std::uint32_t delta = frame.Groups[g].Delta;
    columns[ch.PositionChannel - 1] = Format("%4u ", frame.Groups[g].Position);
    columns[ch.DeltaChannel - 1] = delta < 8 ? "  D  " : delta == 8 ? "  -  " : "  U  ";
  }
  std::string line;
  for (const std::string& c : columns) line += c;
  return line + "\n";
}

TEST(Program, MultiFrameCaptureAtEveryLevel) {
  std::vector<FrameFields> frames = MovingFrames(40);
  CellRuns cells;
  std::vector<std::uint32_t> endCells;
  std::vector<std::size_t> syncIndex;
  std::uint32_t total = 0;
  for (const FrameFields& frame : frames) {
    syncIndex.push_back(cells.size());
    AppendSyncedFrame(cells, frame);
    total += 18 + (frame.Parity == OddFrame ? 166 : 168);
    endCells.push_back(total);
  }
  std::string path = CaptureFile(Durations(cells));

  std::string low, level2, level3;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    low += DisplayLine(frames[i]);
    level2 += DisplayLine(frames[i]) + FrameEndLine(endCells[i]);
    std::uint32_t syncCells = (i == 0 ? 0 : endCells[i - 1]) + 18;
    level3 += SyncLine(syncIndex[i] % 2 == 1, syncCells, static_cast<int>(i));
    level3 += frames[i].Parity == OddFrame ? "FrameType: ODD. \n" : "FrameType: EVEN\n";
    for (std::uint32_t g = 0; g < 4; ++g) {
      const GroupFields& f = frames[i].Groups[g];
      GroupChannels ch = ChannelsOfGroup(frames[i].Parity, g);
      level3 +=
          GroupLine(f.Aux, f.Ecc, ch.PositionChannel, f.Position, ch.DeltaChannel, f.Delta, true);
    }
    level3 += FrameEndLine(endCells[i]);
  }
  EXPECT_EQ(Decode(path, "-1").out, low + "Done\n");
  EXPECT_EQ(Decode(path, "0").out, low + "Done\n");
  EXPECT_EQ(Decode(path, "2").out, level2 + "Done\n");
  EXPECT_EQ(Decode(path, "3").out, level3 + "Done\n");
  ProgramResult level4 = Decode(path, "4");
  EXPECT_EQ(level4.out, Decode(path, "9").out);
  EXPECT_EQ(level4.exitCode, 0);
  EXPECT_EQ(level4.out.size(),
            level3.size() + 5 + frames.size() * (7 + 16 * (11 + 13 + 7)) + 20 * (2 + 23));
}

TEST(Program, LongRunPrintsEveryDigitAtLevelFour) {
  // One run of 100 million cells (10 drained, the rest flushed at the sync): that many digits.
  std::string path = CaptureFile({static_cast<std::int32_t>(100'000'000 * 6.623), 119});
  ProgramResult r = RunCommand(Program + " " + path + " 4 | tail -c 200");
  ASSERT_EQ(r.exitCode, 0);
  std::string tail = std::string(200 - 5 - SyncLine(true, 100'000'018, 0).size(), '0');
  EXPECT_EQ(r.out, tail + SyncLine(true, 100'000'018, 0) + "Done\n");
  ProgramResult count = RunCommand(Program + " " + path + " 4 | wc -c");
  EXPECT_EQ(std::stoull(count.out), 100'000'000u + SyncLine(true, 100'000'018, 0).size() + 5);
}

TEST(Program, ExtremeDurationsFinishWithTheDefinedOutput) {
  RunDurations durations;
  for (int i = 0; i < 100000; ++i) {
    durations.push_back(i % 2 ? std::numeric_limits<std::int32_t>::max()
                              : std::numeric_limits<std::int32_t>::min());
  }
  std::string path = CaptureFile(durations);
  for (const char* level : {"0", "1", "2", "3"}) {
    ProgramResult r = Decode(path, level);
    EXPECT_EQ(r.out, "Done\n") << level;  // never a sync: no line before the end
    EXPECT_EQ(r.exitCode, 0);
  }
}

}  // namespace
