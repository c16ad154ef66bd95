// The ecc code found from a capture's groups and checked against them, the code as text, and
// idle time between bursts kept apart from frames lost, on captures built from known fields.
#include <gtest/gtest.h>

#include <sstream>

#include "ecc/affine_code.h"
#include "encode/channel_frames.h"
#include "encode/frame_ecc.h"
#include "encode/signal_patterns.h"
#include "encode/synthesizer.h"
#include "tests/test_support.h"

namespace {

const std::string Tool = MORVANTIS_CAPTURE_BINARY;

// Sweep frames, their groups' ecc written by `code`.
std::vector<FrameFields> SweepFrames(std::size_t count, const EccCode& code) {
  std::vector<FrameFields> frames =
      FramesFromRows(PatternRows(SignalPattern::Sweep, count), OddFrame, 0);
  for (FrameFields& frame : frames) WriteEcc(code, frame);
  return frames;
}

std::string CaptureOf(const std::vector<FrameFields>& frames) {
  std::string path = TemporaryPath(".cap");
  EXPECT_EQ(WriteCaptureFile(path, SynthesizeCapture(frames, Impairments{}).Durations), "");
  return path;
}

std::string CodeFile(const EccCode& code) {
  return WriteTemporaryFile(EccCodeText(code), ".ecc");
}

// The line of analyze's text report that starts with `label`.
std::string ReportLine(const std::string& report, const std::string& label) {
  std::size_t at = report.find("\n" + label);
  if (at == std::string::npos) return "";
  return report.substr(at + 1, report.find('\n', at + 1) - at - 1);
}

TEST(EccCode, ReadsWhatItWritesAndRefusesMalformedText) {
  EccCode code = RandomEccCode(11);
  std::istringstream written(EccCodeText(code));
  EccCode read;
  ASSERT_EQ(ReadEccCode(written, "c", read), "");
  EXPECT_EQ(read.Masks, code.Masks);
  EXPECT_EQ(read.Constants, code.Constants);

  std::string allBits;
  for (int k = 0; k < EccBits; ++k) allBits += Format("bit %d: mask 0x0 constant 0\n", k);
  struct Case {
    std::string text, error;
  } cases[] = {
      {"# only a comment\n", "c: ecc bit 0 is not given"},
      {"bit 0: mask 0x1 constant 1\n" + allBits, "c:2: bit 0 is given twice"},
      {"bit 8: mask 0x1 constant 0\n", "c:1: the ecc bit must be 0 to 7"},
      {"bit 1: mask 0x10000 constant 0\n", "c:1: the mask must be at most 0xffff"},
      {"bit 1: mask 0x1 constant 2\n", "c:1: the constant must be 0 or 1"},
      {"\nbit 1: mask 0x1 constant 0 trailing\n", "c:2: expected \"bit K: mask 0xHHHH"},
      {"bit 1 mask 0x1\n", "c:1: expected"},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.text);
    EXPECT_EQ(ReadEccCode(in, "c", read).substr(0, c.error.size()), c.error) << c.text;
  }
}

// 200 frames whose groups carry a known code, 8 of the 800 groups damaged after the ecc was
// written (an ecc bit flipped in four, a delta or position bit in the other four): analyze
// finds the code all the same, and given the code it catches exactly the damaged groups.
TEST(AnalyzeCommand, FindsTheEccCodeDespiteDamagedGroupsAndCatchesThem) {
  const EccCode code = RandomEccCode(2024);
  std::vector<FrameFields> frames = SweepFrames(200, code);
  for (int n = 0; n < 8; ++n) {
    GroupFields& group = frames[static_cast<std::size_t>(23 * n + 5)].Groups[n % 4];
    if (n < 4) {
      group.Ecc ^= 1u << (2 * n);
    } else {
      int bit = 3 * n - 6;  // data bits 6 to 15 of the 16: position and delta
      ASSERT_NE(EccOf(code, 1u << bit) ^ code.Constants, 0u) << "the code must see bit " << bit;
      group.Position ^= bit < 10 ? 1u << bit : 0;
      group.Delta ^= bit >= 10 ? 1u << (bit - 10) : 0;
    }
  }
  std::string capture = CaptureOf(frames), found = TemporaryPath(".ecc");
  ProgramResult analyze = RunCommand(Tool + " analyze " + capture + " --save-ecc " + found);
  ASSERT_EQ(analyze.exitCode, 0) << analyze.err;
  EXPECT_EQ(ReportLine(analyze.out, "ecc code:"),
            "ecc code: one affine code of the data bits fits 792 of 800 groups (pinned only where "
            "they vary: 1 of 16 data bits never change)");
  EccCode read;
  ASSERT_EQ(LoadEccCode(found, read), "");
  // aux's low bit is 0 in every group that passes the aux check: its part of the code is unseen.
  for (int k = 0; k < EccBits; ++k) {
    EXPECT_EQ(read.Masks[static_cast<std::size_t>(k)] & ~0x4000u,
              code.Masks[static_cast<std::size_t>(k)] & ~0x4000u)
        << "ecc bit " << k;
  }
  EXPECT_EQ(read.Constants, code.Constants);

  ProgramResult checked = RunCommand(Tool + " analyze " + capture + " --ecc " + CodeFile(code));
  EXPECT_EQ(ReportLine(checked.out, "Groups failing"), "Groups failing the ecc code: 8");
  EXPECT_NE(checked.out.find("8 groups fail the ecc code."), std::string::npos) << checked.out;
}

// What analyze says of the ecc fields, by what the groups carry.
TEST(AnalyzeCommand, SaysWhetherTheEccFieldsFitACode) {
  std::vector<FrameFields> noCode = SweepFrames(200, EccCode{});
  SeededRandom random(3);
  for (FrameFields& frame : noCode) {
    for (GroupFields& group : frame.Groups)
      group.Ecc = static_cast<std::uint32_t>(random.Below(256));
  }
  struct Case {
    const char* name;
    std::string capture, report;
    int saveExit;
  } cases[] = {
      {"ecc 0 throughout", CaptureOf(SweepFrames(100, EccCode{})),
       "ecc code: one affine code of the data bits fits 400 of 400 groups (pinned only where they "
       "vary: 1 of 16 data bits never change)",
       0},
      {"random ecc", CaptureOf(noCode), "ecc code: the ecc fields fit no affine code", 1},
      // Static channels: 4 groups of each parity, the same in every frame.
      {"static channels", CaptureOf(FramesFromRows(PatternRows(SignalPattern::Static, 50), 0, 0)),
       "ecc code: the groups vary too little to pin the code", 0},
  };
  for (const Case& c : cases) {
    std::string saved = TemporaryPath(".ecc");
    ProgramResult r = RunCommand(Tool + " analyze " + c.capture + " --save-ecc " + saved);
    EXPECT_EQ(ReportLine(r.out, "ecc code:").substr(0, c.report.size()), c.report) << c.name;
    EXPECT_EQ(r.exitCode, c.saveExit) << c.name << ": " << r.err;
    EXPECT_EQ(Exists(saved), c.saveExit == 0) << c.name;
  }
}

// Bursts of 50 frames with 200 ms of a transmitter switched off between them: the idle time is
// not frames lost; a sync spoilt inside a burst still counts its frame as missing.
TEST(AnalyzeCommand, IdleTimeBetweenBurstsIsNotLoss) {
  const std::vector<FrameFields> frames = SweepFrames(400, EccCode{});
  const auto idleCells = static_cast<std::int32_t>(200 / MillisecondsPerCell);
  struct Case {
    const char* name;
    bool bursts;
    std::size_t spoiltSync;  // the frame whose sync is one cell short, none when past the end
    const char* missing;
  } cases[] = {
      {"bursts", true, 400, "Frames missing: 0"},
      {"bursts, one sync spoilt", true, 120, "Frames missing: 1"},
      {"no bursts, one sync spoilt", false, 120, "Frames missing: 1"},
  };
  for (const Case& c : cases) {
    CellRuns cells;
    for (std::size_t f = 0; f < frames.size(); ++f) {
      if (c.bursts && f > 0 && f % 50 == 0) cells.push_back(idleCells);
      std::size_t sync = cells.size();
      AppendSyncedFrame(cells, frames[f]);
      if (f == c.spoiltSync) --cells[sync];
    }
    std::string capture = WriteTemporaryFile("", ".cap");
    ASSERT_EQ(WriteCaptureFile(capture, Durations(cells)), "");
    std::string report = RunCommand(Tool + " analyze " + capture).out;
    EXPECT_EQ(ReportLine(report, "Frames missing:"), c.missing) << c.name;
    if (c.spoiltSync >= frames.size()) {
      EXPECT_NE(report.find("Verdict: The capture decodes cleanly: 400 frames, none lost."),
                std::string::npos)
          << c.name << "\n"
          << report;
    } else {
      EXPECT_NE(report.find("Verdict: 1 of 400 frames was lost (1 of them missing"),
                std::string::npos)
          << c.name << "\n"
          << report;
    }
  }
}

}  // namespace
