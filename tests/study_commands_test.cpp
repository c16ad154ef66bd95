// MorvantisCapture analyze, export and plot on synthesized captures whose contents are known.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "common/signal_layout.h"
#include "encode/cell_durations.h"
#include "encode/channel_frames.h"
#include "encode/seeded_random.h"
#include "files/capture_file.h"
#include "tests/test_support.h"

namespace {

const std::string Tool = MORVANTIS_CAPTURE_BINARY;

std::string Synth(const std::string& options) {
  std::string capture = TemporaryPath(".cap");
  ProgramResult r = RunCommand(Tool + " synth " + options + " -o " + capture);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  return capture;
}

// A number field of the analyzer's one-line JSON object.
double JsonNumber(const std::string& json, const std::string& key) {
  std::size_t at = json.find("\"" + key + "\":");
  EXPECT_NE(at, std::string::npos) << key;
  return std::stod(json.substr(at + key.size() + 3));
}

// The factor of the first "--scale F" advice in `text`; 0 when there is none.
double AdvisedScale(const std::string& text) {
  std::size_t at = text.find("--scale ");
  return at == std::string::npos ? 0 : std::stod(text.substr(at + 8));
}

TEST(AnalyzeCommand, RecommendsTheScaleForARecordingThatRunsSlow) {
  std::string capture = Synth("--pattern sweep --frames 300 --jitter 0.5");
  RunDurations durations;
  ASSERT_EQ(ReadCaptureFile(capture, durations), "");
  for (std::int32_t& d : durations) d = static_cast<std::int32_t>(std::lround(d * 1.03));
  std::string slow = TemporaryPath(".cap");
  ASSERT_EQ(WriteCaptureFile(slow, durations), "");

  ProgramResult json = RunCommand(Tool + " analyze " + slow + " --json");
  ASSERT_EQ(json.exitCode, 0) << json.err;
  EXPECT_NEAR(JsonNumber(json.out, "scale"), 1.03, 0.002);
  EXPECT_NEAR(JsonNumber(json.out, "cell_percent_off"), 3, 0.2);
  ProgramResult text = RunCommand(Tool + " analyze " + slow);
  const std::size_t verdict =
      text.out.find("Verdict: The timing is 3.0 percent slow; import again");
  ASSERT_NE(verdict, std::string::npos) << text.out;
  EXPECT_NEAR(AdvisedScale(text.out.substr(verdict)), 1.03, 0.002) << text.out;
  EXPECT_EQ(RunCommand("python3 -c 'import json,sys; json.load(sys.stdin)' < /dev/null").exitCode,
            1);
  EXPECT_EQ(RunCommand(Tool + " analyze " + slow +
                       " --json | python3 -c 'import json,sys; json.load(sys.stdin)'")
                .exitCode,
            0);
}

// Captures of a transmitter 5 percent fast to 5 percent slow, their edges rounded to whole units
// as a recorder rounds them (or each duration rounded after the scaling, as a careless
// conversion does), with and without jitter: the cell length measured is within 0.1 percent of
// the truth, also where the offset keeps the sync from being found, and the advice follows.
TEST(AnalyzeCommand, MeasuresTheCellWithinATenthOfAPercent) {
  std::string nominal = Synth("--pattern sweep --frames 300");
  RunDurations sent;
  ASSERT_EQ(ReadCaptureFile(nominal, sent), "");
  for (double scale : {0.95, 0.97, 0.99, 1.0, 1.01, 1.03, 1.05}) {
    for (double jitter : {0.0, 1.0}) {
      for (bool eachDurationRounded : {false, true}) {
        // Rounded per run, a capture 1 percent off keeps its short runs as they were: there is
        // no telling its offset then.
        if (eachDurationRounded && std::abs(scale - 1) < 0.02) continue;
        SeededRandom random(7);
        DurationClock clock(jitter, random, UnitsPerCell * scale);
        RunDurations durations;
        for (std::int32_t d : sent) {
          const auto cells = static_cast<std::int32_t>(std::lround(d / UnitsPerCell));
          durations.push_back(eachDurationRounded
                                  ? static_cast<std::int32_t>(std::lround(d * scale))
                                  : clock.Next(cells));
        }
        std::string capture = TemporaryPath(".cap");
        ASSERT_EQ(WriteCaptureFile(capture, durations), "");
        ProgramResult json = RunCommand(Tool + " analyze " + capture + " --json");
        ASSERT_EQ(json.exitCode, 0) << json.err;
        const std::string what = Format("scale %.2f jitter %.1f%s", scale, jitter,
                                        eachDurationRounded ? " rounded per run" : "");
        EXPECT_NEAR(JsonNumber(json.out, "cell_units") / (UnitsPerCell * scale), 1, 0.001) << what;
        if (std::abs(scale - 1) > 0.02) {  // within a percent, no advice is given
          EXPECT_NEAR(AdvisedScale(json.out), scale, scale * 0.001) << what << ": " << json.out;
        }
      }
    }
  }
}

TEST(AnalyzeCommand, CountsWhatTheGlitchesDid) {
  std::string capture = TemporaryPath(".cap");
  ProgramResult synth = RunCommand(
      Tool + " synth --pattern steps --frames 500 --glitch-rate 0.1 --seed 4 -o " + capture);
  std::size_t glitched = std::stoul(synth.err.substr(synth.err.find("(") + 1));
  ASSERT_GT(glitched, 20u);
  std::string json = RunCommand(Tool + " analyze " + capture + " --json").out;
  EXPECT_EQ(JsonNumber(json, "syncs"), 500);
  EXPECT_EQ(JsonNumber(json, "frames_complete"), 500.0 - static_cast<double>(glitched));
  EXPECT_EQ(JsonNumber(json, "invalid_code_words") + JsonNumber(json, "unknown_frame_types"),
            static_cast<double>(glitched));
  EXPECT_EQ(JsonNumber(json, "aux_mismatches"), 0);
  std::string text = RunCommand(Tool + " analyze " + capture).out;
  EXPECT_NE(text.find("Frames complete: " + std::to_string(500 - glitched) + "\n"),
            std::string::npos);
  EXPECT_NE(text.find("the recording is probably too noisy"), std::string::npos) << text;
}

TEST(ExportCommand, RoundTripMatchesTheCsvRowByRow) {
  std::string csv = "ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8\n";
  std::vector<ChannelRow> rows;
  for (int f = 0; f < 30; ++f) {
    ChannelRow row;
    for (int c = 0; c < 8; ++c)
      row[static_cast<std::size_t>(c)] = (37 * f * (c + 1) + 11 * c) % 1024;
    rows.push_back(row);
    for (int c = 0; c < 8; ++c)
      csv += std::to_string(row[static_cast<std::size_t>(c)]) + (c < 7 ? "," : "\n");
  }
  std::string capture = Synth(WriteTemporaryFile(csv, ".csv"));
  ProgramResult exported = RunCommand(Tool + " export " + capture);
  ASSERT_EQ(exported.exitCode, 0) << exported.err;
  std::istringstream lines(exported.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line,
            "end_ms,type,p1,p2,p3,p4,p5,p6,p7,p8,d1,d2,d3,d4,d5,d6,d7,d8,aux0,aux1,aux2,aux3,ecc0,"
            "ecc1,ecc2,ecc3,aux_ok,ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8");
  for (std::size_t f = 0; f < rows.size(); ++f) {
    ASSERT_TRUE(std::getline(lines, line)) << f;
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, ',');) cells.push_back(cell);
    if (line.back() == ',') cells.emplace_back();
    ASSERT_EQ(cells.size(), 35u) << line;
    EXPECT_EQ(cells[1], f % 2 == 0 ? "odd" : "even");
    for (std::size_t c = 0; c < 8; ++c) {
      bool carried = c % 2 == f % 2;
      const ChannelRow& before = rows[f == 0 ? 0 : f - 1];
      EXPECT_EQ(cells[2 + c], carried ? std::to_string(rows[f][c]) : "")
          << "frame " << f << " p" << c + 1;
      EXPECT_EQ(cells[10 + c], carried ? "" : std::to_string(DeltaForMove(before[c], rows[f][c])))
          << "frame " << f << " d" << c + 1;
    }
    EXPECT_EQ(cells[26], "true");
    for (std::size_t c = 0; c < 8; ++c) {
      // The latest frame up to this one that carried the channel's position.
      std::size_t carrier = c % 2 == f % 2 ? f : f - 1;
      EXPECT_EQ(cells[27 + c], f == 0 && c % 2 == 1 ? "" : std::to_string(rows[carrier][c]))
          << "frame " << f << " ch" << c + 1;
    }
  }
  EXPECT_FALSE(std::getline(lines, line));
}

// Percent worked out from the calibration's rules: channel 1 centres (minimum 100, centre 500,
// maximum 900: each half its own straight line), channel 3 does not (its centre lies within a
// tenth of its travel from the minimum: one line from end to end), channel 5 has none.
TEST(ExportCommand, PercentFollowsEachChannelsCalibration) {
  struct Row {
    int ch1, ch3;
    const char *pct1, *pct3;
  };
  const Row rows[] = {
      {100, 0, "-100.0", "-100.0"}, {500, 1000, "0.0", "100.0"}, {900, 500, "100.0", "0.0"},
      {700, 250, "50.0", "-50.0"},  {300, 1, "-50.0", "-99.8"},  {50, 999, "-100.0", "99.8"},
      {1000, 20, "100.0", "-96.0"}, {499, 0, "-0.3", "-100.0"},  {510, 0, "2.5", "-100.0"},
  };
  // Each row twice: the odd frame of each pair carries channels 1 and 3.
  std::string csv = "ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8\n";
  for (const Row& row : rows) {
    for (int twice = 0; twice < 2; ++twice) {
      csv += std::to_string(row.ch1) + ",512," + std::to_string(row.ch3) + ",512,600,512,512,512\n";
    }
  }
  const std::string capture = Synth(WriteTemporaryFile(csv, ".csv"));
  const std::string calibration = WriteTemporaryFile(
      "# channel minimum centre maximum\n"
      "1 100 500 900\n3 0 20 1000\n",
      ".cal");
  ProgramResult exported = RunCommand(Tool + " export " + capture +
                                      " --all-frames --units percent --calibration " + calibration);
  ASSERT_EQ(exported.exitCode, 0) << exported.err;
  std::istringstream lines(exported.out);
  std::string line;
  std::getline(lines, line);
  ASSERT_NE(line.find(",ch8,pct1,pct2,pct3,pct4,pct5,pct6,pct7,pct8,margin,grade,why"),
            std::string::npos)
      << line;
  for (const Row& row : rows) {
    ASSERT_TRUE(std::getline(lines, line));
    std::vector<std::string> cells;
    std::istringstream fields(line);
    for (std::string cell; std::getline(fields, cell, ',');) cells.push_back(cell);
    cells.resize(46);
    EXPECT_EQ(cells[35], row.pct1) << line;
    EXPECT_EQ(cells[37], row.pct3) << line;
    EXPECT_EQ(cells[39], "") << "channel 5 has no calibration: " << line;
    std::getline(lines, line);
  }
  // The export still feeds synth, which knows the percent and grade columns for what they are.
  ProgramResult again = RunCommand(Tool + " synth " + WriteTemporaryFile(exported.out, ".csv") +
                                   " -o " + TemporaryPath(".cap"));
  EXPECT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(again.err.find("ignoring"), std::string::npos) << again.err;
  // Without a calibration there is no percent to show.
  ProgramResult none = RunCommand(Tool + " export " + capture + " --units percent --calibration " +
                                  TemporaryPath(".cal"));
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_NE(none.err.find("MorvantisCapture calibrate"), std::string::npos) << none.err;
}

TEST(ExportCommand, JsonLinesParseAndLostFramesAreCounted) {
  std::string capture = TemporaryPath(".cap");
  ProgramResult synth =
      RunCommand(Tool + " synth --frames 200 --glitch-rate 0.1 --seed 8 -o " + capture);
  std::size_t glitched = std::stoul(synth.err.substr(synth.err.find("(") + 1));
  std::string output = TemporaryPath(".jsonl");
  ProgramResult exported = RunCommand(Tool + " export " + capture + " --format jsonl -o " + output);
  ASSERT_EQ(exported.exitCode, 0) << exported.err;
  EXPECT_NE(exported.err.find(std::to_string(200 - glitched) + " frames written, " +
                              std::to_string(glitched) + " lost"),
            std::string::npos)
      << exported.err;
  ProgramResult parsed = RunCommand(
      "python3 -c 'import json,sys; r=[json.loads(l) for l in open(sys.argv[1])]; "
      "assert all(len(x[\"positions\"]) == 4 and len(x[\"deltas\"]) == 4 and x[\"aux_ok\"] for x "
      "in r); "
      "print(len(r))' " +
      output);
  EXPECT_EQ(parsed.exitCode, 0) << parsed.err;
  EXPECT_EQ(parsed.out, std::to_string(200 - glitched) + "\n");
}

TEST(PlotCommand, WritesAnSvgThatParsesAndRenders) {
  // Twenty minutes of moving channels.
  std::string capture = Synth("--pattern sweep --frames 40000 --glitch-rate 0.01");
  std::string svg = TemporaryPath(".svg");
  ProgramResult plot = RunCommand(Tool + " plot " + capture + " -o " + svg);
  ASSERT_EQ(plot.exitCode, 0) << plot.err;
  EXPECT_EQ(
      RunCommand("python3 -c 'import sys, xml.etree.ElementTree as t; t.parse(sys.argv[1])' " + svg)
          .exitCode,
      0);
  std::string png = TemporaryPath(".png");
  ASSERT_EQ(RunCommand("rsvg-convert " + svg + " -o " + png).exitCode, 0);
  EXPECT_GT(std::stoul(RunCommand("wc -c < " + png).out), 1000u);
  // Thinned to its pixel columns, the picture stays small however long the capture.
  EXPECT_LT(std::stoul(RunCommand("wc -c < " + svg).out), 1000000u);
}

TEST(StudyCommands, FailuresAreReported) {
  std::string capture = Synth("--frames 50");
  for (const std::string& command : {"analyze " + capture, "export " + capture}) {
    ProgramResult full = RunCommand(Tool + " " + command + " > /dev/full");
    EXPECT_EQ(full.exitCode, 1) << command;
    EXPECT_NE(full.err.find("cannot write to standard output"), std::string::npos) << command;
  }
  for (std::string command : {"analyze", "export", "plot"}) {
    std::string output = TemporaryPath(".out");
    ProgramResult r = RunCommand(Tool + " " + command + " " + MORVANTIS_SOURCE_DIR +
                                 (command == "plot" ? " -o " + output + ".svg" : ""));
    EXPECT_EQ(r.exitCode, 1) << command;
    EXPECT_NE(r.err.find("cannot read"), std::string::npos) << command << ": " << r.err;
  }
}

}  // namespace

// Every frame of a capture is trusted for its cells (a capture has no margins); a frame whose
// aux breaks the pattern is not, until sixteen frames in a row have shown the transmitter keeps
// another; with --ecc, neither is a frame with a group the code disagrees with. The default
// export leaves the doubtful ones out and counts them; --all-frames keeps them, graded.
TEST(ExportCommand, DoubtfulFramesAreLeftOutOrGraded) {
  std::string csv =
      "type,p1,p2,p3,p4,p5,p6,p7,p8,d1,d2,d3,d4,d5,d6,d7,d8,aux0,aux1,aux2,aux3,"
      "ecc0,ecc1,ecc2,ecc3,ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8\n";
  for (int f = 0; f < 20; ++f) {
    csv += "odd,100,,300,,500,,700,,,8,,8,,8,,8,1,1,1,1,0,0,0,0,100,200,300,400,500,600,700,800\n";
    csv += "even,,200,,400,,600,,800,8,,8,,8,,8,,1,1,1,1,0,0,0,0,100,200,300,400,500,600,700,800\n";
  }
  std::string otherAux = Synth(WriteTemporaryFile(csv, ".csv"));
  ProgramResult all = RunCommand(Tool + " export " + otherAux + " --all-frames");
  ASSERT_EQ(all.exitCode, 0) << all.err;
  std::istringstream lines(all.out);
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_TRUE(line.ends_with(",ch8,margin,grade,why")) << line;
  // A doubtful frame's positions are no channel's latest either.
  for (int f = 0; f < 40; ++f) {
    ASSERT_TRUE(std::getline(lines, line));
    const char* end = f < 16    ? ",false,,,,,,,,,,doubtful,aux"
                      : f == 16 ? ",true,100,,300,,500,,700,,,trusted,"
                                : ",true,100,200,300,400,500,600,700,800,,trusted,";
    EXPECT_TRUE(line.ends_with(end)) << "frame " << f << ": " << line;
  }
  ProgramResult trusted = RunCommand(Tool + " export " + otherAux);
  EXPECT_NE(trusted.err.find("24 frames written, 16 lost"), std::string::npos) << trusted.err;
  EXPECT_NE(trusted.err.find("16 doubtful frames left out: 0 from weak cells, 16 with aux"),
            std::string::npos)
      << trusted.err;

  // The code the groups were written by, and one whose bit 0 is always the other way.
  std::string capture = Synth("--frames 50 --ecc-seed 11");
  std::string code = TemporaryPath(".ecc");
  ASSERT_EQ(RunCommand(Tool + " analyze " + capture + " --save-ecc " + code).exitCode, 0);
  std::string wrong = TemporaryPath(".ecc");
  ASSERT_EQ(RunCommand("sed -E '/^bit 0:/{s/constant 0/constant X/;s/constant 1/constant 0/;"
                       "s/constant X/constant 1/}' " +
                       code + " > " + wrong)
                .exitCode,
            0);
  ProgramResult fits = RunCommand(Tool + " export " + capture + " --ecc " + code);
  EXPECT_NE(fits.err.find("50 frames written, 0 lost"), std::string::npos) << fits.err;
  EXPECT_EQ(fits.err.find("doubtful"), std::string::npos) << fits.err;
  ProgramResult fails = RunCommand(Tool + " export " + capture + " --ecc " + wrong);
  EXPECT_EQ(fails.out.find('\n'), fails.out.size() - 1) << "only the header: " << fails.out;
  EXPECT_NE(fails.err.find("50 doubtful frames left out: 0 from weak cells, 0 with aux not as "
                           "expected, 50 with groups failing the ecc code (200 groups)"),
            std::string::npos)
      << fails.err;
  ProgramResult graded =
      RunCommand(Tool + " export " + capture + " --ecc " + wrong + " --all-frames --format jsonl");
  std::istringstream records(graded.out);
  int doubtful = 0;
  for (std::string record; std::getline(records, record);)
    doubtful += record.ends_with(",\"margin\":null,\"grade\":\"doubtful\",\"why\":\"ecc\"}");
  EXPECT_EQ(doubtful, 50) << graded.out;
}
