// Decoding while the input is still coming: each chunk written into a pipe (or a FIFO-fed ALSA
// device) must show its decoded lines before the next chunk is written. Timeouts are generous;
// what is checked is the order of things, never how fast they happen.
#include <gtest/gtest.h>

#include <unistd.h>
#include <sstream>

#include <csignal>

#include "tests/test_support.h"

namespace {

const std::string Tool = MORVANTIS_CAPTURE_BINARY;
const std::string Decoder = MORVANTIS_BINARY;

TEST(Live, MorvantisShowsEveryChunksLinesBeforeTheNext) {
  Recording recording("--pattern sweep --frames 120 --glitch-rate 0.05 --jitter 0.5");
  const std::string capture = ReadFile(recording.Capture);
  const std::string offline = RunCommand(Decoder + " " + recording.Capture + " 2").out;
  LivePipeline live(Decoder + " /dev/stdin 2");
  // Chunks that end mid-record too: a partial record waits for its remaining bytes.
  constexpr std::size_t Chunk = 1999;
  for (std::size_t at = 0; at < capture.size(); at += Chunk) {
    live.Write(capture.substr(at, Chunk));
    // Everything the bytes so far decode to, whole lines up to the last frame end.
    std::string prefix = WriteTemporaryFile(capture.substr(0, at + Chunk));
    std::string expected = RunCommand(Decoder + " " + prefix + " 2").out;
    expected.resize(expected.rfind("------ Time=") == std::string::npos
                        ? 0
                        : expected.find('\n', expected.rfind("------ Time=")) + 1);
    ASSERT_TRUE(live.WaitFor([&](const std::string& out) { return out.size() >= expected.size(); }))
        << "chunk at " << at << ": " << live.Output().size() << " of " << expected.size();
    EXPECT_EQ(live.Output().substr(0, expected.size()), expected) << "chunk at " << at;
  }
  EXPECT_EQ(live.Finish(), 0);
  EXPECT_EQ(live.Output(), offline);
}

TEST(Live, ExportWritesEachFrameAsItIsDecoded) {
  Recording recording("--pattern steps --frames 60");
  const std::string capture = ReadFile(recording.Capture);
  LivePipeline live(Tool + " export - --format jsonl 2>/dev/null");
  const std::size_t half = capture.size() / 2 / 4 * 4;
  live.Write(capture.substr(0, half));
  EXPECT_TRUE(live.WaitFor([](const std::string& out) {
    return Occurrences(out, "\"end_ms\"") >= 25;
  })) << live.Output();
  live.Write(capture.substr(half));
  EXPECT_EQ(live.Finish(), 0);
  EXPECT_EQ(Occurrences(live.Output(), "\"end_ms\""), 60u);
}

// Feeds raw samples a block at a time; after each block every frame that ended a frame or more
// before the block's end must have been printed.
void ExpectLiveFrames(LivePipeline& live, const std::string& raw, const std::string& offline) {
  constexpr std::size_t Block = 44100 / 4 * 2;  // a quarter of a second of 16-bit samples
  const double frameSeconds = 0.028;
  for (std::size_t at = 0; at + Block <= raw.size(); at += Block) {
    live.Write(raw.substr(at, Block));
    double end = static_cast<double>(at + Block) / 2 / 44100;
    std::size_t due = 0;
    for (std::size_t line = offline.find("Time="); line != std::string::npos;
         line = offline.find("Time=", line + 1)) {
      if (std::stod(offline.substr(line + 5)) / 1000 < end - 2 * frameSeconds) ++due;
    }
    ASSERT_TRUE(live.WaitFor([&](const std::string& out) { return FrameLines(out) >= due; }))
        << "after " << end << " s: " << FrameLines(live.Output()) << " of " << due << " frames";
  }
}

// What the recording's audio decodes to offline, at level 2.
std::string DecodedOffline(const Recording& recording) {
  return RunCommand(Tool + " import " + recording.Wav + " -o - 2>/dev/null | " + Decoder +
                    " /dev/stdin 2")
      .out;
}

TEST(Live, RawSamplesOnStandardInputDecodeAsTheyArrive) {
  Recording recording("--pattern sweep --frames 150 --jitter 0.3 --noise 0.02");
  const std::string raw = ReadFile(recording.Raw);
  const std::string offline = DecodedOffline(recording);
  ASSERT_GE(FrameLines(offline), 148u);
  LivePipeline live(Tool + " import - --raw s16le --rate 44100 -o - 2>/dev/null | " + Decoder +
                    " /dev/stdin 2");
  ExpectLiveFrames(live, raw, offline);
  live.Write(raw.substr(raw.size() / (44100 / 2) * (44100 / 2)));
  EXPECT_EQ(live.Finish(), 0);
  EXPECT_GE(FrameLines(live.Output()) * 100, FrameLines(offline) * 99);
}

TEST(Live, AudioFilesStreamThroughStandardInput) {
  Recording recording("--pattern steps --frames 80");
  for (const char* extension : {".wav", ".flac"}) {
    std::string audio = recording.Folder + "/a" + extension;
    ASSERT_EQ(RunCommand(Tool + " synth --pattern steps --frames 80 -o " + recording.Folder +
                         "/a.cap --wav " + audio)
                  .exitCode,
              0);
    ProgramResult piped =
        RunCommand("cat " + audio + " | " + Tool + " import - -o - | " + Decoder + " /dev/stdin 2");
    ProgramResult file =
        RunCommand(Tool + " import " + audio + " -o - | " + Decoder + " /dev/stdin 2");
    EXPECT_EQ(piped.exitCode, 0) << extension << piped.err;
    EXPECT_EQ(piped.out, file.out) << extension;
    EXPECT_EQ(FrameLines(piped.out), 80u) << extension;
  }
}

TEST(Live, SoundCardDecodesLiveAndAnInterruptKeepsAWholeCapture) {
  Recording recording("--pattern sweep --frames 150 --jitter 0.3 --noise 0.02");
  const std::string raw = ReadFile(recording.Raw);
  const std::string offline = DecodedOffline(recording);
  FifoDevice device(recording.Folder);
  {
    // The pipeline's standard input feeds the FIFO, so the test writes at its own pace.
    LivePipeline live("exec 3<&0; cat <&3 > " + device.Fifo + " & " + device.Environment + Tool +
                      " import --device testin -o - 2>/dev/null | " + Decoder + " /dev/stdin 2");
    ExpectLiveFrames(live, raw, offline);
    live.Write(raw.substr(raw.size() / (44100 / 2) * (44100 / 2)));
    EXPECT_TRUE(live.WaitFor([&](const std::string& out) {
      return FrameLines(out) * 100 >= FrameLines(offline) * 99;
    })) << FrameLines(live.Output())
        << " of " << FrameLines(offline);
    // The user ends the recording; the decoder then sees the end of its input.
    RunCommand("pkill -INT -f -- '--device testin'");
    live.Finish();
    EXPECT_GE(FrameLines(live.Output()) * 100, FrameLines(offline) * 99);
  }
  // To a file, SIGINT ends the recording normally: the capture is whole and in place.
  std::string capture = recording.Folder + "/live.cap";
  LivePipeline live("exec 3<&0; cat <&3 > " + device.Fifo + " & " + device.Environment + "exec " +
                    Tool + " import --device testin -o " + capture + " 2>" + recording.Folder +
                    "/err");
  live.Write(raw.substr(0, raw.size() / 2 / 2 * 2));
  ASSERT_TRUE(live.WaitFor(
      [&](const std::string&) {
        return RunCommand("test -s " + recording.Folder + "/.live.cap.*").exitCode == 0;
      },
      20));
  usleep(300000);
  live.Signal(SIGINT);
  EXPECT_EQ(live.Finish(), 0);
  EXPECT_EQ(ReadFile(capture).size() % 4, 0u);
  EXPECT_NE(ReadFile(recording.Folder + "/err").find("ended by a signal"), std::string::npos);
  std::string decoded = RunCommand(Decoder + " " + capture + " 2").out;
  EXPECT_GE(FrameLines(decoded), 40u) << decoded.substr(0, 400);
  EXPECT_EQ(RunCommand("ls -A " + recording.Folder + " | grep -c '^\\.'").out, "0\n");
}

// The monitor records from the device itself: a status line comes while the audio is still
// arriving, and the last one, when the recording ends, holds the values the same audio
// decodes to offline.
TEST(Live, MonitorWatchesASoundCard) {
  Recording recording("--pattern sweep --frames 150");
  const std::string raw = ReadFile(recording.Raw);
  const std::string offline = RunCommand(Tool + " import " + recording.Wav +
                                         " -o - 2>/dev/null | " + Tool + " export - --format jsonl")
                                  .out;
  FifoDevice device(recording.Folder);
  const double seconds = static_cast<double>(raw.size()) / 2 / 44100;
  LivePipeline live("exec 3<&0; cat <&3 > " + device.Fifo + " & " + device.Environment + Tool +
                    Format(" monitor --device testin --seconds %.4f", seconds));
  live.Write(raw.substr(0, raw.size() / 2 / 2 * 2));
  EXPECT_TRUE(live.WaitFor([](const std::string& out) {
    return out.find(" fps ") != std::string::npos;
  })) << live.Output();
  live.Write(raw.substr(raw.size() / 2 / 2 * 2));
  EXPECT_EQ(live.Finish(), 0);
  // The last line shows the eight values of a frame the audio decodes to offline, one near
  // its end (a live recording may end a frame earlier or later).
  const std::string output = live.Output();
  const std::string status = output.substr(output.rfind('\n', output.size() - 2) + 1);
  const std::string shown = status.substr(
      status.find("ch1"), status.find("  ", status.find("ch8") + 5) - status.find("ch1"));
  bool found = false;
  for (const auto& held : HeldChannels(offline)) {
    std::string values;
    for (int c = 0; c < 8; ++c) {
      values +=
          Format("%sch%d %4s", c > 0 ? "  " : "", c + 1, held[static_cast<std::size_t>(c)].c_str());
    }
    found = found || values == shown;
  }
  EXPECT_TRUE(found) << shown;
}

}  // namespace
