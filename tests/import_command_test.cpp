// MorvantisCapture import: recordings made from synthesized captures decode like the captures
// themselves, whatever the rate, sample format and impairments; logic exports likewise.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "decoder/run_decoder.h"
#include "encode/signal_patterns.h"
#include "encode/synthesizer.h"
#include "files/capture_file.h"
#include "import/edge_timeline.h"
#include "import/logic_import.h"
#include "tests/test_support.h"

namespace {

const std::string Tool = MORVANTIS_CAPTURE_BINARY;
const std::string Decoder = MORVANTIS_BINARY;

// Synthesizes a capture and its audio; returns the decoder's level-2 text for the capture.
std::string SynthWithAudio(const std::string& audio, const std::string& audioOptions) {
  std::string capture = TemporaryPath(".cap");
  ProgramResult synth =
      RunCommand(Tool + " synth --pattern sweep --frames 40 --glitch-rate 0.05 -o " + capture +
                 " --wav " + audio + " " + audioOptions);
  EXPECT_EQ(synth.exitCode, 0) << synth.err;
  return RunCommand(Decoder + " " + capture + " 2").out;
}

std::string ImportAndDecode(const std::string& input, const std::string& options = "") {
  std::string capture = TemporaryPath(".cap");
  ProgramResult import = RunCommand(Tool + " import " + input + " -o " + capture + " " + options);
  EXPECT_EQ(import.exitCode, 0) << import.err;
  return RunCommand(Decoder + " " + capture + " 2").out;
}

TEST(ImportCommand, AudioRoundTripsAtEveryRateAndSampleFormat) {
  struct Format {
    const char* extension;
    const char* sampleFormat;
  } formats[] = {{".wav", "pcm16"}, {".wav", "float"}, {".flac", "pcm16"}};
  for (int rate : {22050, 44100, 48000, 96000}) {
    for (const Format& format : formats) {
      std::string audio = TemporaryPath(format.extension);
      std::string expected = SynthWithAudio(
          audio, "--rate " + std::to_string(rate) + " --sample-format " + format.sampleFormat);
      EXPECT_EQ(ImportAndDecode(audio), expected)
          << rate << " " << format.extension << " " << format.sampleFormat;
    }
  }
}

TEST(ImportCommand, SurvivesRecordingImpairments) {
  const char* impairments[] = {
      "--noise 0.05", "--dc-offset 0.3 --amplitude 0.4", "--invert", "--ac-coupling-ms 10",
      "--ac-coupling-ms 10 --noise 0.03 --dc-offset -0.2 --invert --amplitude 0.6"};
  for (const char* impairment : impairments) {
    for (int rate : {22050, 44100}) {
      std::string audio = TemporaryPath(".wav");
      std::string expected =
          SynthWithAudio(audio, std::string(impairment) + " --rate " + std::to_string(rate));
      EXPECT_EQ(ImportAndDecode(audio), expected) << impairment << " at " << rate;
    }
  }
}

TEST(ImportCommand, ChannelIsChosenAndCheckedAndSummaryMeasuresTheCell) {
  std::string audio = TemporaryPath(".wav");
  std::string expected = SynthWithAudio(audio, "--channels 2");
  EXPECT_EQ(ImportAndDecode(audio, "--channel 2"), expected);
  std::string output = TemporaryPath(".cap");
  ProgramResult wrong = RunCommand(Tool + " import " + audio + " --channel 3 -o " + output);
  EXPECT_EQ(wrong.exitCode, 1);
  EXPECT_NE(wrong.err.find("has 2 channels (1 to 2)"), std::string::npos) << wrong.err;
  EXPECT_FALSE(Exists(output));
  ProgramResult right = RunCommand(Tool + " import " + audio + " -o " + output);
  EXPECT_NE(right.err.find("cell length 6.62"), std::string::npos) << right.err;
}

TEST(EdgeTimeline, OneHourAt48kHzKeepsEverySyncAtEighteenCells) {
  std::vector<FrameFields> frames =
      FramesFromRows(PatternRows(SignalPattern::Steps, 130000), OddFrame, 0);
  SynthesizedCapture capture = SynthesizeCapture(frames, {});
  // Edges as a 48 kHz sound card sees them: on whole samples.
  const double samplesPerUnit = 48000 / UnitsPerSecond;
  RunCollector collected;
  EdgeTimeline timeline(collected, UnitsPerSecond / 48000);
  double units = 0;
  for (std::int32_t cells : capture.Cells) {
    units += cells * UnitsPerCell;
    timeline.AddEdge(std::round(units * samplesPerUnit));
  }
  timeline.HandOn();
  const RunDurations& durations = collected.Runs;
  ASSERT_EQ(durations.size(), capture.Cells.size());
  std::size_t wrong = 0;
  for (std::size_t i = 0; i < durations.size(); ++i)
    wrong += CellsFromDuration(durations[i]) != capture.Cells[i];
  EXPECT_EQ(wrong, 0u);
  EXPECT_GT(units / UnitsPerSecond, 3600);
}

// The same signal in several logic-export spellings imports to the same runs.
TEST(LogicImport, VcdAndCsvSpellingsGiveTheSameRuns) {
  auto import = [](const std::string& text, bool vcd, const std::string& signal = "",
                   double scale = 1) {
    std::istringstream in(text);
    RunCollector collected;
    ImportSummary summary;
    ImportRequest request;
    request.Sink = &collected;
    request.Logic.Signal = signal;
    request.Scale = scale;
    std::string error =
        vcd ? ImportVcd(in, "t", request, summary) : ImportLevelCsv(in, "t", request, summary);
    EXPECT_EQ(error, "");
    return collected.Runs;
  };
  const std::string header = "$var wire 1 ! clk $end $var wire 1 # pcm $end $enddefinitions $end\n";
  RunDurations expected = {119, 13, 27, 18};  // 2700, 300, 600 and 400 microseconds
  EXPECT_EQ(import("$timescale 1us $end\n" + header +
                       "#0\n$dumpvars\n0!\n0#\n$end\n#2700\n1#\n1!\n#3000\n0#\n#3600\n1#\n#4000\n",
                   true, "pcm"),
            expected);
  EXPECT_EQ(import("$timescale 100 ns $end\n" + header +
                       "#0 0# 1! #27000 1# #30000 0# 0! #36000 1# #40000\n",
                   true, "pcm"),
            expected);
  EXPECT_EQ(import("$timescale 1ps $end\n$scope module top $end\n$var wire 4 % bus $end\n$upscope "
                   "$end\n$enddefinitions $end\n"
                   "#0 b0000 % #2700000000 b0100 % #3000000000 b0 % #3600000000 b1 % #4000000000\n",
                   true),
            expected);
  // A transmitter 3 percent slow, read with its clock as --scale: the same runs.
  EXPECT_EQ(
      import("time,level\n0,0\n0.002781,1\n0.00309,0\n0.003708,1\n0.00412,1\n", false, "", 1.03),
      expected);
  // Rows at irregular times; only the changes count.
  EXPECT_EQ(import("time,level\n0,0\n0.0013,0\n0.0027,1\n0.00271,1\n0.0029,1\n0.003,0\n0.0036,1\n0."
                   "0037,1\n0.004,1\n",
                   false),
            expected);
}

TEST(LogicImport, AbsurdTimesAreClampedToWhatACaptureHolds) {
  std::istringstream in("time,level\n0,0\n1e300,1\n2e300,0\n2e300,1\n");
  RunCollector collected;
  ImportSummary summary;
  ImportRequest request;
  request.Sink = &collected;
  EXPECT_EQ(ImportLevelCsv(in, "t", request, summary), "");
  EXPECT_EQ(collected.Runs, (RunDurations{2147483647, 0, 0}));
  EXPECT_EQ(summary.RunsClamped, 1u);
}

TEST(ImportCommand, BadInputsSayWhatIsWrongAndLeaveNoFile) {
  std::string notAudio = WriteTemporaryFile("just some text, not audio\n", ".wav");
  std::string audio = TemporaryPath(".wav");
  SynthWithAudio(audio, "");
  std::string truncated = TemporaryPath(".wav");
  RunCommand("head -c 20000 " + audio + " > " + truncated);
  std::string empty = TemporaryPath(".wav");
  RunCommand("python3 -c \"import wave; w = wave.open('" + empty +
             "', 'wb'); w.setnchannels(1); w.setsampwidth(2); w.setframerate(44100); w.close()\"");
  std::string flat = TemporaryPath(".wav");
  RunCommand(Tool + " synth --frames 1 -o " + TemporaryPath(".cap") + " --wav " + flat +
             " --amplitude 0 --dc-offset 0.2");
  std::string vcdWithoutSignal = WriteTemporaryFile(
      "$var wire 1 ! a $end $var wire 1 \" b $end $enddefinitions $end #0 0! 0\"\n", ".vcd");
  std::string badCsv = WriteTemporaryFile("time,level\n0,0\n0.001,1\n0.0005,0\n", ".csv");
  struct Case {
    std::string input, options, message;
  } cases[] = {
      {notAudio, "", "is not an audio file that can be read"},
      {truncated, "", "is truncated"},
      {empty, "", "empty recording"},
      {flat, "", "holds no pulse signal"},
      {vcdWithoutSignal, "", "choose a signal with --signal; the file has: a b"},
      {vcdWithoutSignal, "--signal c", "no signal named \"c\""},
      {badCsv, "", ":4: time goes backwards"},
      {"/nonexistent.wav", "", "cannot open /nonexistent.wav"},
  };
  for (const Case& c : cases) {
    std::string output = TemporaryPath(".cap");
    ProgramResult r = RunCommand(Tool + " import " + c.input + " " + c.options + " -o " + output);
    EXPECT_EQ(r.exitCode, 1) << c.input;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.input << ": " << r.err;
    EXPECT_FALSE(Exists(output)) << c.input;
  }
}

}  // namespace

namespace {

// The summary says how many frames the runs decode to, and warns when none does: the same
// samples read at half their rate give runs, but no frame.
TEST(ImportCommand, TheSummaryCountsTheFramesAndWarnsWhenThereAreNone) {
  const std::string folder = TemporaryPath(".frames");
  ASSERT_EQ(RunCommand("mkdir -p " + folder + " && " + Tool +
                       " synth --pattern steps --frames 120 -o " + folder + "/s.cap --wav " +
                       folder + "/s.wav && tail -c +45 " + folder + "/s.wav > " + folder + "/s.raw")
                .exitCode,
            0);
  const ProgramResult right =
      RunCommand(Tool + " import " + folder + "/s.raw --raw s16le -o " + folder + "/right.cap");
  EXPECT_EQ(right.exitCode, 0) << right.err;
  EXPECT_NE(right.err.find("import: 120 frames decoded from it\n"), std::string::npos) << right.err;
  EXPECT_EQ(right.err.find("warning"), std::string::npos) << right.err;
  const ProgramResult wrong = RunCommand(
      Tool + " import " + folder + "/s.raw --raw s16le --rate 22050 -o " + folder + "/wrong.cap");
  EXPECT_EQ(wrong.exitCode, 0) << wrong.err;
  EXPECT_NE(wrong.err.find("import: 0 frames decoded from it\nMorvantisCapture import: warning: no "
                           "frame decodes"),
            std::string::npos)
      << wrong.err;
  RunCommand("rm -rf " + folder);
}

}  // namespace
