// MorvantisCapture monitor as a user sees it: in a real terminal (tmux) the eight values on
// screen are the decoded ones and lost frames are counted, q quits and restores the terminal;
// without a terminal, plain status lines say the same.
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/test_support.h"

namespace {

const std::string Tool = MORVANTIS_CAPTURE_BINARY;

struct Expected {
  std::string capture;
  std::string channels[8];  // the last frame's held positions, as export gives them
  std::string lost;         // frames lost, as export counts them
};

// A capture with glitches, and what export says its last frame holds.
Expected GlitchedCapture() {
  Expected expected;
  expected.capture = TemporaryPath(".cap");
  EXPECT_EQ(RunCommand(Tool + " synth --pattern sweep --frames 200 --glitch-rate 0.05 -o " +
                       expected.capture)
                .exitCode,
            0);
  ProgramResult exported = RunCommand(Tool + " export " + expected.capture + " --format jsonl");
  const auto held = HeldChannels(exported.out);
  for (int c = 0; c < 8; ++c) expected.channels[c] = held.back()[static_cast<std::size_t>(c)];
  auto written = exported.err.find("frames written, ");
  expected.lost =
      exported.err.substr(written + 16, exported.err.find(' ', written + 16) - written - 16);
  return expected;
}

TEST(Monitor, PlainStatusLinesCarryTheDecodedValuesAndLosses) {
  Expected expected = GlitchedCapture();
  EXPECT_NE(expected.lost, "0");
  for (const std::string& source : {Tool + " monitor " + expected.capture,
                                    "cat " + expected.capture + " | " + Tool + " monitor -"}) {
    ProgramResult watched = RunCommand(source + " --speed 0");
    ASSERT_EQ(watched.exitCode, 0) << watched.err;
    std::istringstream lines(watched.out);
    std::string line, last;
    int count = 0;
    while (std::getline(lines, line)) last = line, ++count;
    EXPECT_GE(count, 5) << watched.out;  // one per second of the 5.5 s, and the last
    for (int c = 0; c < 8; ++c) {
      EXPECT_NE(last.find(Format("ch%d %4s", c + 1, expected.channels[c].c_str())),
                std::string::npos)
          << source << ": " << last;
    }
    EXPECT_NE(last.find(", " + expected.lost + " ("), std::string::npos) << last;
  }
}

// A frame ends every 27.75 ms (ODD and EVEN frames with their syncs, 370 cells a pair), so
// every whole second holds 36 or 37 of them: each status line counts the second before it.
TEST(Monitor, FramesPerSecondCountAWholeSecond) {
  const std::string capture = TemporaryPath(".cap");
  ASSERT_EQ(RunCommand(Tool + " synth --pattern sweep --frames 200 -o " + capture).exitCode, 0);
  ProgramResult watched = RunCommand(Tool + " monitor " + capture + " --speed 0");
  ASSERT_EQ(watched.exitCode, 0) << watched.err;
  std::istringstream lines(watched.out);
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    EXPECT_TRUE(line.find("  36 fps") != std::string::npos ||
                line.find("  37 fps") != std::string::npos)
        << line;
  }
  EXPECT_GE(count, 5) << watched.out;
}

// A file plays at its own pace; stopped while it plays, the monitor ends where the playing had
// come to, never with what it had read ahead (a block is many seconds of signal).
TEST(Monitor, AStoppedFileEndsWhereItsPlayingHadCome) {
  const std::string capture = TemporaryPath(".cap");
  ASSERT_EQ(RunCommand(Tool + " synth --pattern sweep --frames 2000 -o " + capture).exitCode, 0);
  LivePipeline live("exec " + Tool + " monitor " + capture);
  ASSERT_TRUE(live.WaitFor([](const std::string& out) { return out.find(" fps ") != out.npos; }))
      << live.Output();
  live.Signal(SIGINT);
  EXPECT_EQ(live.Finish(), 0);
  const std::string& out = live.Output();
  const std::size_t last = out.rfind('\n', out.size() - 2);
  const double endedAt = std::stod(out.substr(last == std::string::npos ? 0 : last + 1));
  EXPECT_LT(endedAt, 5) << out;
}

// Played at its pace, each status line shows what the signal had carried by its moment: the
// held values of the last frame that ended by then, never those of a frame still to come (as
// the first after a gap once was, on the line that said the signal was lost).
TEST(Monitor, EachLineShowsTheValuesOfItsMoment) {
  const std::string capture = TemporaryPath(".cap");
  ASSERT_EQ(RunCommand(Tool +
                       " synth --pattern sweep --frames 200 --gap-ms 300 --gap-every 50 "
                       "--silent-runs-ms 200 -o " +
                       capture)
                .exitCode,
            0);
  const std::string exported = RunCommand(Tool + " export " + capture + " --format jsonl").out;
  std::vector<std::pair<double, std::string>> held;  // each frame's end and its channel 1
  std::istringstream records(exported);
  for (std::string record; std::getline(records, record);) {
    const auto channels = record.find("\"channels\":{\"1\":");
    if (channels == std::string::npos) continue;  // no frame, or channel 1 not yet known
    const auto value = channels + 16;
    held.emplace_back(std::stod(record.substr(10)),
                      record.substr(value, record.find_first_of(",}", value) - value));
  }
  ProgramResult watched = RunCommand(Tool + " monitor " + capture + " --speed 4");
  ASSERT_EQ(watched.exitCode, 0) << watched.err;
  std::istringstream lines(watched.out);
  int checked = 0;
  for (std::string line; std::getline(lines, line);) {
    const auto at = line.find(" s  ch1 ");
    if (at == std::string::npos) continue;
    // (The line's time is rounded to the millisecond: a frame ending within half of one of it
    // may or may not have come.)
    const double ms = std::stod(line) * 1000;
    std::string before = "-", within = "-";
    for (const auto& [end, value] : held) {
      if (end <= ms - 0.5) before = value;
      if (end <= ms + 0.5) within = value;
    }
    std::istringstream shown(line.substr(at + 8));
    std::string value;
    shown >> value;
    EXPECT_TRUE(value == before || value == within) << line << " (expected " << before << ")";
    ++checked;
  }
  EXPECT_GE(checked, 6) << watched.out;
}

// A tmux session running one command line; its screen as text.
class Terminal {
 public:
  explicit Terminal(const std::string& commandLine, const std::string& size = "-x 120 -y 40") {
    // Each terminal has a tmux server of its own (-L): tests running side by side never meet
    // in one, where a session ended by one could take down the server another is starting on.
    name_ = Format("morvantis_monitor_%d_", getpid());
    rcFile_ = TemporaryPath(".rc");
    RunCommand("tmux -L " + name_ + " kill-session -t " + name_ + " 2>/dev/null");
    RunCommand("tmux -L " + name_ + " new-session -d " + size + " -s " + name_ + " '" +
               commandLine + "; echo $? > " + rcFile_ + "; sleep 60'");
  }
  ~Terminal() { RunCommand("tmux -L " + name_ + " kill-session -t " + name_); }
  std::string Screen() const {
    return RunCommand("tmux -L " + name_ + " capture-pane -p -t " + name_).out;
  }
  bool WaitForScreen(const std::string& text) const {
    for (int tries = 0; tries < 200; ++tries) {
      if (Screen().find(text) != std::string::npos) return true;
      usleep(100000);
    }
    return false;
  }
  void Keys(const std::string& keys) const {
    RunCommand("tmux -L " + name_ + " send-keys -t " + name_ + " " + keys);
  }
  // The command's exit code, once it has ended; -1 if it does not within 20 seconds.
  int ExitCode() const {
    for (int tries = 0; tries < 200; ++tries) {
      std::string rc = RunCommand("cat " + rcFile_ + " 2>/dev/null").out;
      if (!rc.empty()) return std::stoi(rc);
      usleep(100000);
    }
    return -1;
  }

 private:
  std::string name_, rcFile_;
};

TEST(Monitor, ShowsTheDecodedValuesInATerminalAndQuitsCleanly) {
  if (RunCommand("command -v tmux").exitCode != 0) GTEST_SKIP() << "tmux is not installed";
  Expected expected = GlitchedCapture();
  for (const std::string& source : {Tool + " monitor " + expected.capture + " --speed 0",
                                    "cat " + expected.capture + " | " + Tool + " monitor -"}) {
    Terminal terminal(source);
    ASSERT_TRUE(terminal.WaitForScreen("end of input")) << terminal.Screen();
    const std::string screen = terminal.Screen();
    for (int c = 0; c < 8; ++c) {
      EXPECT_NE(screen.find(Format("ch%d  %4s [", c + 1, expected.channels[c].c_str())),
                std::string::npos)
          << source << "\n"
          << screen;
    }
    EXPECT_NE(screen.find("in all " + expected.lost + " of 200"), std::string::npos) << screen;
    EXPECT_NE(screen.find("cell 6.62"), std::string::npos) << screen;
    terminal.Keys("q");
    EXPECT_EQ(terminal.ExitCode(), 0);
    // The full-screen view is gone: the terminal shows what it showed before.
    EXPECT_EQ(terminal.Screen().find("Morvantis monitor"), std::string::npos) << terminal.Screen();
  }
}

// A sound card (a FIFO-fed ALSA device), watched in a terminal: the values on screen at the end
// of the recording are those of a frame the same audio decodes to offline.
TEST(Monitor, ShowsASoundCardInATerminal) {
  if (RunCommand("command -v tmux").exitCode != 0) GTEST_SKIP() << "tmux is not installed";
  const std::string folder = TemporaryPath(".monitor");
  const std::string wav = folder + "/s.wav", raw = folder + "/s.raw";
  ASSERT_EQ(RunCommand("mkdir -p " + folder + " && " + Tool + " synth --pattern sweep --frames " +
                       "100 -o " + folder + "/s.cap --wav " + wav +
                       " && python3 -c \"import wave; w = wave.open('" + wav + "'); open('" + raw +
                       "', 'wb').write(w.readframes(w.getnframes()))\"")
                .exitCode,
            0);
  const std::string offline = RunCommand(Tool + " import " + wav + " -o - 2>/dev/null | " + Tool +
                                         " export - --format jsonl")
                                  .out;
  FifoDevice device(folder);
  const double seconds = static_cast<double>(ReadFile(raw).size()) / 2 / 44100;
  Terminal terminal("cat " + raw + " > " + device.Fifo + " & " + device.Environment + Tool +
                    Format(" monitor --device testin --seconds %.4f", seconds));
  ASSERT_TRUE(terminal.WaitForScreen("end of input")) << terminal.Screen();
  const std::string screen = terminal.Screen();
  EXPECT_NE(screen.find("input peak 0.8"), std::string::npos) << screen;
  bool found = false;
  for (const auto& values : HeldChannels(offline)) {
    bool all = true;
    for (int c = 0; c < 8 && all; ++c) {
      all = screen.find(Format("ch%d  %4s [", c + 1,
                               values[static_cast<std::size_t>(c)].c_str())) != std::string::npos;
    }
    found = found || all;
  }
  EXPECT_TRUE(found) << screen;
  terminal.Keys("q");
  EXPECT_EQ(terminal.ExitCode(), 0);
  RunCommand("rm -rf " + folder);
}

// A sound card that stops delivering anything: the screen says so, and q still quits at once
// (the device is left waiting in its own thread).
TEST(Monitor, AStalledSoundCardShowsAndQStillQuits) {
  if (RunCommand("command -v tmux").exitCode != 0) GTEST_SKIP() << "tmux is not installed";
  const std::string folder = TemporaryPath(".stall");
  const std::string wav = folder + "/s.wav";
  ASSERT_EQ(RunCommand("mkdir -p " + folder + " && " + Tool +
                       " synth --pattern sweep --frames 60 -o " + folder + "/s.cap --wav " + wav)
                .exitCode,
            0);
  FifoDevice device(folder);
  Terminal terminal("(tail -c +45 " + wav + "; sleep 61) > " + device.Fifo + " & " +
                    device.Environment + Tool + " monitor --device testin");
  ASSERT_TRUE(terminal.WaitForScreen("the input has stalled")) << terminal.Screen();
  EXPECT_NE(terminal.Screen().find("NO SIGNAL"), std::string::npos);
  terminal.Keys("q");
  EXPECT_EQ(terminal.ExitCode(), 0);
  RunCommand("pkill -f 'sleep 61' ; rm -rf " + folder);
}

// In a small terminal the eight values still show, with the frame counts below them, and no
// line runs into the next.
TEST(Monitor, ASmallTerminalKeepsTheValues) {
  if (RunCommand("command -v tmux").exitCode != 0) GTEST_SKIP() << "tmux is not installed";
  Expected expected = GlitchedCapture();
  Terminal terminal(Tool + " monitor " + expected.capture + " --speed 0", "-x 40 -y 10");
  ASSERT_TRUE(terminal.WaitForScreen("frames/s")) << terminal.Screen();
  usleep(500000);
  const std::string screen = terminal.Screen();
  EXPECT_NE(screen.find("q: quit\n"), std::string::npos) << screen;
  for (int c = 0; c < 8; ++c) {
    EXPECT_NE(screen.find(Format("ch%d  %4s [", c + 1, expected.channels[c].c_str())),
              std::string::npos)
        << screen;
  }
  terminal.Keys("q");
  EXPECT_EQ(terminal.ExitCode(), 0);
}

}  // namespace
