// A live signal as its users meet it: a transmitter switched off, a sound card that stops
// delivering, audio streams whose headers cannot know their length, and readers that take audio
// directly. What is checked is what shows and in which order; timeouts are generous.
#include <gtest/gtest.h>

#include <csignal>

#include "tests/test_support.h"

namespace {

const std::string Tool = MORVANTIS_CAPTURE_BINARY;
const std::string Decoder = MORVANTIS_BINARY;

TEST(SignalPresence, SilenceAndAStalledSoundCardShowAndStopsAreHeardAtAnyMoment) {
  Recording rendering("--pattern sweep --frames 150");
  const std::string raw = ReadFile(rendering.Raw);
  const std::string half = raw.substr(0, raw.size() / 4 * 2);
  FifoDevice device(rendering.Folder);
  LivePipeline live("exec 3<&0; cat <&3 > " + device.Fifo + " & " + device.Environment + "exec " +
                    Tool + " monitor --device testin");
  live.Write(half);
  ASSERT_TRUE(live.WaitFor([](const std::string& out) { return Occurrences(out, " fps ") > 0; }))
      << live.Output();
  // The transmitter is switched off: the card delivers silence.
  live.Write(std::string(44100, '\0'));
  ASSERT_TRUE(live.WaitFor([](const std::string& out) {
    return out.find("NO SIGNAL: no valid frame") != std::string::npos;
  })) << live.Output();
  live.Write(raw.substr(half.size()));
  ASSERT_TRUE(live.WaitFor([](const std::string& out) {
    return out.find("signal back") != std::string::npos;
  })) << live.Output();
  // Now the card delivers nothing at all, and the monitor still hears a stop.
  ASSERT_TRUE(live.WaitFor([](const std::string& out) {
    return out.find("the input has stalled") != std::string::npos;
  })) << live.Output();
  live.Signal(SIGTERM);
  EXPECT_EQ(live.Finish(), 0);
}

// A glitch filter keeps each change of level until the next shows the run between was no
// glitch. When the transmitter is switched off no next change comes, and yet the last frame
// before the silence shows at once, followed by the lost signal, with the input still open.
TEST(SignalPresence, AGlitchFilterHoldsNoFrameBackAcrossASilence) {
  Recording rendering("--pattern sweep --frames 60");
  for (const char* filter : {"", " --min-run 0.5"}) {
    SCOPED_TRACE(filter);
    LivePipeline live(Tool + " export - --raw s16le --format jsonl" + filter);
    live.Write(ReadFile(rendering.Raw) + std::string(44100, '\0'));
    EXPECT_TRUE(live.WaitFor([](const std::string& out) {
      return out.find("\"signal_lost\"") != std::string::npos;
    })) << live.Output();
    EXPECT_EQ(Occurrences(live.Output(), "\"end_ms\""), 60u) << live.Output();
    EXPECT_EQ(live.Finish(), 0);
  }
}

TEST(SignalPresence, ExportRecordsWhenTheSignalIsLostAndBack) {
  const std::string capture = TemporaryPath(".cap");
  ASSERT_EQ(
      RunCommand(Tool + " synth --pattern steps --frames 120 --gap-ms 400 --gap-every 60 -o " +
                 capture)
          .exitCode,
      0);
  const std::string json = RunCommand(Tool + " export " + capture + " --format jsonl").out;
  const std::string csv = RunCommand(Tool + " export " + capture).out;
  // One gap: lost 100 ms after the 60th frame's end, back at the 61st frame's end.
  const std::size_t lost = json.find("{\"event\":\"signal_lost\"");
  const std::size_t back = json.find("{\"event\":\"signal_back\"");
  ASSERT_NE(lost, std::string::npos) << json;
  EXPECT_EQ(Occurrences(json.substr(0, lost), "\"end_ms\""), 60u);
  EXPECT_EQ(Occurrences(json.substr(lost, back - lost), "\"end_ms\""), 0u);
  EXPECT_EQ(Occurrences(json, "\"event\""), 2u);
  const auto endOf = [&](std::size_t frame) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < frame; ++i) at = json.find("\"end_ms\":", at) + 9;
    return std::stod(json.substr(at));
  };
  EXPECT_NEAR(std::stod(json.substr(json.find("\"ms\":", lost) + 5)), endOf(60) + 100, 0.01);
  EXPECT_NEAR(std::stod(json.substr(json.find("\"ms\":", back) + 5)), endOf(61), 0.01);
  // CSV says the same in comment lines, which synth reads past.
  EXPECT_EQ(Occurrences(csv, "\n# signal lost at "), 1u);
  EXPECT_EQ(Occurrences(csv, "\n# signal back at "), 1u);
}

// WAV (as arecord writes it to a pipe, announcing 2 GiB), AIFF and Wave64 on standard input:
// the first frames decode while the rest has not arrived, and the whole stream decodes as the
// file does.
TEST(SignalPresence, AudioStreamsDecodeAsTheyArriveWhateverTheirHeaderClaims) {
  Recording rendering("--pattern sweep --frames 150");
  const std::string offline = RunCommand(Tool + " import " + rendering.Wav +
                                         " -o - 2>/dev/null | " + Decoder + " /dev/stdin 2")
                                  .out;
  ASSERT_GE(FrameLines(offline), 149u);
  std::string arecord = ReadFile(rendering.Wav);
  for (std::size_t at : {4u, 40u}) {  // the RIFF size and the data size
    const std::uint32_t announced = at == 40 ? 0x80000000u : 0x80000024u;
    for (int b = 0; b < 4; ++b) arecord[at + b] = static_cast<char>(announced >> (8 * b));
  }
  const std::string aiff = rendering.Folder + "/s.aiff", w64 = rendering.Folder + "/s.w64";
  for (const std::string& other : {aiff, w64}) {
    ASSERT_EQ(RunCommand(Tool + " synth --pattern sweep --frames 150 -o " + rendering.Folder +
                         "/o.cap --wav " + other)
                  .exitCode,
              0);
  }
  for (const std::string& stream : {arecord, ReadFile(aiff), ReadFile(w64)}) {
    LivePipeline live(Tool + " import - -o - 2>/dev/null | " + Decoder + " /dev/stdin 2");
    const std::size_t first = 44100 / 2 * 2;  // half a second of samples, and the header
    live.Write(stream.substr(0, first));
    EXPECT_TRUE(live.WaitFor([](const std::string& out) { return FrameLines(out) >= 5; }))
        << stream.substr(0, 4) << ": " << live.Output();
    live.Write(stream.substr(first));
    EXPECT_EQ(live.Finish(), 0);
    EXPECT_EQ(live.Output(), offline) << stream.substr(0, 4);
  }
  // Interrupted, a live import keeps a whole capture of what came.
  const std::string capture = rendering.Folder + "/live.cap";
  LivePipeline live("exec " + Tool + " import - -o " + capture + " 2>/dev/null");
  live.Write(arecord.substr(0, arecord.size() / 2));
  ASSERT_TRUE(live.WaitFor(
      [&](const std::string&) {
        return RunCommand("test -s " + rendering.Folder + "/.live.cap.*").exitCode == 0;
      },
      20));
  live.Signal(SIGINT);
  EXPECT_EQ(live.Finish(), 0);
  EXPECT_EQ(ReadFile(capture).size() % 4, 0u);
  EXPECT_GE(FrameLines(RunCommand(Decoder + " " + capture + " 2").out), 40u);
}

// Readers take audio themselves and decode it as import-then-decode does.
TEST(SignalPresence, ReadersTakeAudioAsImportThenDecodeDoes) {
  Recording rendering("--pattern sweep --frames 120");
  const std::string viaCapture =
      RunCommand(Tool + " import " + rendering.Wav + " -o - 2>/dev/null | " + Tool +
                 " export - --format jsonl 2>/dev/null")
          .out;
  ASSERT_EQ(Occurrences(viaCapture, "\"end_ms\""), 120u);
  EXPECT_EQ(RunCommand(Tool + " export " + rendering.Wav + " --format jsonl 2>/dev/null").out,
            viaCapture);
  EXPECT_EQ(RunCommand("cat " + rendering.Raw + " | " + Tool +
                       " export - --raw s16le --format jsonl 2>/dev/null")
                .out,
            viaCapture);
  const std::string plain = RunCommand(Tool + " monitor " + rendering.Wav + " --speed 0").out;
  const auto held = HeldChannels(viaCapture).back();
  for (int c = 0; c < 8; ++c) {
    EXPECT_NE(plain.find(Format("ch%d %4s", c + 1, held[static_cast<std::size_t>(c)].c_str()),
                         plain.rfind('\n', plain.size() - 2)),
              std::string::npos)
        << plain;
  }
}

}  // namespace
