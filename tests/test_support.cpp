// Shared test helpers: decoding into strings and event lists, running the built programs.
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <sstream>

#include <poll.h>
#include <unistd.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <fstream>

#include "channels/channel_display.h"
#include "channels/group_decoder.h"
#include "common/text_output.h"
#include "common/verbose_level.h"
#include "decoder/decoder_setup.h"
#include "decoder/run_decoder.h"
#include "encode/run_lengths.h"

namespace {

std::string ReadWholeFileAt(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct TemporaryFiles {
  std::vector<std::string> paths;
  ~TemporaryFiles() {
    for (const auto& path : paths) std::remove(path.c_str());
  }
} Temporaries;

}  // namespace

std::string CapturedOutput;

bool CaptureOutput(const char* data, std::size_t size) {
  CapturedOutput.append(data, size);
  return true;
}

void ListenWithChannelDisplay() {
  DecoderListeners = {};
  DecoderListeners.GroupComplete = [](void*, std::uint32_t, const PcmGroupSymbols& group,
                                      int parity, std::uint32_t groupIndex) {
    DecodeGroup(group, parity, groupIndex);
  };
}

namespace {

void Note(void* events, const std::string& event) {
  static_cast<std::vector<std::string>*>(events)->push_back(event);
}

}  // namespace

DecoderEvents EventRecorder(std::vector<std::string>& events) {
  return {
      &events,
      [](void* log, std::uint32_t cells, Polarity polarity, std::uint32_t sync) {
        Note(log, Format("sync %u %d %u", cells, polarity, sync));
      },
      [](void* log, std::uint32_t cells, FrameTypeKind kind, std::uint32_t value) {
        const char* names[] = {"odd", "even", "unknown"};
        Note(log, Format("type %u %s %u", cells, names[static_cast<int>(kind)], value));
      },
      [](void* log, std::uint32_t cells, std::uint32_t word) {
        Note(log, Format("invalid %u %u", cells, word));
      },
      [](void* log, std::uint32_t cells, const PcmGroupSymbols& g, int parity,
         std::uint32_t index) {
        Note(log,
             Format("group %u %u %u %u %u %d %u", cells, g[0], g[1], g[2], g[3], parity, index));
        DecodeGroup(g, parity, index);
      },
      [](void* log, std::uint32_t cells) { Note(log, Format("end %u", cells)); },
  };
}

std::vector<std::string> DecodeToEvents(const RunDurations& durations) {
  std::vector<std::string> events;
  {
    DecoderSetup setup(0, DiscardOutput, EventRecorder(events));
    ResetChannelDisplay();
    Polarity polarity = 0;
    for (std::int32_t duration : durations) {
      DecodeRun(duration, polarity);
      polarity ^= 1;
    }
  }
  return events;
}

std::string DecodeToText(const RunDurations& durations, std::int32_t level) {
  CapturedOutput.clear();
  {
    DecoderSetup setup(level, CaptureOutput, DecoderListeners);
    ListenWithChannelDisplay();
    ResetChannelDisplay();
    Polarity polarity = 0;
    for (std::int32_t duration : durations) {
      DecodeRun(duration, polarity);
      polarity ^= 1;
    }
  }
  return CapturedOutput;
}

std::string TemporaryPath(const std::string& suffix) {
  static int counter = 0;
  std::string path =
      (std::getenv("TMPDIR") ? std::string(std::getenv("TMPDIR")) : std::string("/tmp")) +
      "/morvantis_test_" + std::to_string(getpid()) + "_" + std::to_string(counter++) + suffix;
  Temporaries.paths.push_back(path);
  return path;
}

ProgramResult RunCommand(const std::string& commandLine) {
  std::string outPath = TemporaryPath(".out");
  std::string errPath = TemporaryPath(".err");
  int status = std::system(("(" + commandLine + ") >" + outPath + " 2>" + errPath).c_str());
  int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return {ReadWholeFileAt(outPath), ReadWholeFileAt(errPath), exitCode};
}

RunDurations Durations(const CellRuns& cells) {
  SeededRandom unused(0);
  return DurationsFromCells(cells, 0, unused);
}

void AppendSyncedFrame(CellRuns& cells, const FrameFields& frame) {
  cells.push_back(SyncCells);
  BitStream bits;
  AppendFrame(bits, frame);
  AppendRunsAfterSync(cells, bits);
}

FrameFields MakeFrame(int parity, std::uint32_t position, std::uint32_t delta, std::uint32_t ecc) {
  FrameFields frame;
  frame.Parity = parity;
  for (std::uint32_t g = 0; g < GroupsPerFrame; ++g)
    frame.Groups[g] = {ExpectedAux[g], delta, position, ecc};
  return frame;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

std::string WriteTemporaryFile(const std::string& bytes, const std::string& suffix) {
  std::string path = TemporaryPath(suffix);
  std::ofstream(path, std::ios::binary) << bytes;
  return path;
}

std::string Format(const char* format, ...) {
  std::array<char, 512> buffer{};
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(buffer.data(), buffer.size(), format, arguments);
  va_end(arguments);
  return buffer.data();
}

std::string SyncLine(bool positive, std::uint32_t cells, int frameNumber) {
  return Format(
      "\n== SYNC = %s == Time:%06.02fms == #Frames:%04d ================================\n",
      positive ? "POS" : "NEG", cells * 0.15, frameNumber);
}

std::string FrameEndLine(std::uint32_t cells) {
  return Format("------ Time=%06.02f\n", cells * 0.15);
}

std::string GroupLine(std::uint32_t aux, std::uint32_t ecc, int positionChannel,
                      std::uint32_t position, int deltaChannel, std::uint32_t delta,
                      bool auxExpected) {
  return Format("   aux=%2u ecc=%3u A%d=%4u D%d=%4u", aux, ecc, positionChannel, position,
                deltaChannel, delta) +
         (auxExpected ? "\n" : "*****CHECK****\n");
}

std::string Bits(std::uint32_t value, int count) {
  std::string digits;
  for (int i = count - 1; i >= 0; --i) digits += ((value >> i) & 1) ? '1' : '0';
  return digits;
}

std::string ReadFile(const std::string& path) {
  return ReadWholeFileAt(path);
}

std::size_t Occurrences(const std::string& text, const std::string& needle) {
  std::size_t count = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
    ++count;
  return count;
}

LivePipeline::LivePipeline(const std::string& commandLine) {
  int input[2], output[2];
  if (pipe(input) != 0 || pipe(output) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    setpgid(0, 0);
    dup2(input[0], STDIN_FILENO);
    dup2(output[1], STDOUT_FILENO);
    for (int descriptor : {input[0], input[1], output[0], output[1]}) close(descriptor);
    execl("/bin/sh", "sh", "-c", commandLine.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  setpgid(pid_, pid_);
  close(input[0]);
  close(output[1]);
  in_ = input[1];
  out_ = output[0];
  signal(SIGPIPE, SIG_IGN);
}

LivePipeline::~LivePipeline() {
  if (pid_ > 0) {
    kill(-pid_, SIGKILL);
    Finish();
  }
}

void LivePipeline::Write(const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    ssize_t now = write(in_, bytes.data() + done, bytes.size() - done);
    if (now <= 0) return;
    done += static_cast<std::size_t>(now);
  }
}

bool LivePipeline::ReadSome(int timeoutMs) {
  pollfd ready{out_, POLLIN, 0};
  if (poll(&ready, 1, timeoutMs) <= 0) return false;
  char block[65536];
  ssize_t got = read(out_, block, sizeof block);
  if (got <= 0) return false;
  output_.append(block, static_cast<std::size_t>(got));
  return true;
}

bool LivePipeline::WaitFor(const std::function<bool(const std::string&)>& done, double seconds) {
  auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done(output_)) {
    if (std::chrono::steady_clock::now() > until) return false;
    ReadSome(50);
  }
  return true;
}

int LivePipeline::Finish() {
  if (pid_ <= 0) return -1;
  if (in_ >= 0) close(in_);
  in_ = -1;
  while (ReadSome(20000)) {
  }
  int status = 0;
  waitpid(pid_, &status, 0);
  close(out_);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void LivePipeline::Signal(int signalNumber) {
  if (pid_ > 0) kill(-pid_, signalNumber);
}

Recording::Recording(const std::string& synthOptions) {
  Folder = TemporaryPath(".recording");
  Capture = Folder + "/s.cap";
  Wav = Folder + "/s.wav";
  Raw = Folder + "/s.raw";
  EXPECT_EQ(RunCommand("mkdir -p " + Folder + " && " + std::string(MORVANTIS_CAPTURE_BINARY) +
                       " synth " + synthOptions + " -o " + Capture + " --wav " + Wav +
                       " && python3 -c \"import wave; w = wave.open('" + Wav + "'); open('" + Raw +
                       "', 'wb').write(w.readframes(w.getnframes()))\"")
                .exitCode,
            0);
}

Recording::~Recording() {
  RunCommand("rm -rf " + Folder);
}

std::size_t FrameLines(const std::string& text) {
  return Occurrences(text, "------ Time=");
}

FifoDevice::FifoDevice(const std::string& folder) {
  Fifo = folder + "/in.fifo";
  std::string config = folder + "/alsa.conf";
  RunCommand("mkfifo " + Fifo);
  // The plugin also writes what passes through to `file`: a file of the test's own.
  RunCommand("echo 'pcm.testin { type file slave.pcm \"null\" file \"" + folder +
             "/passed.raw\" infile \"" + Fifo + "\" format \"raw\" }' > " + config);
  Environment = "ALSA_CONFIG_PATH=/usr/share/alsa/alsa.conf:" + config + " ";
}

std::vector<std::vector<std::string>> HeldChannels(const std::string& jsonLines) {
  std::vector<std::vector<std::string>> frames;
  std::istringstream lines(jsonLines);
  for (std::string line; std::getline(lines, line);) {
    const auto from = line.rfind("\"channels\"");
    if (from == std::string::npos) continue;
    const std::string held = line.substr(from);
    std::vector<std::string> values;
    for (int c = 1; c <= 8; ++c) {
      auto at = held.find(Format("\"%d\":", c));
      if (at == std::string::npos) break;
      at += 4;
      values.push_back(held.substr(at, held.find_first_of(",}", at) - at));
    }
    if (values.size() == 8) frames.push_back(values);
  }
  return frames;
}

const std::array<const char*, 64> CodeWordOfSymbol = {
    // 0 to 15
    "1111111000", "1111110011", "1111100011", "1111100111", "1111000111", "1111001111",
    "1110001111", "1110011111", "0011111111", "0001111111", "0000111111", "1100111111",
    "1100011111", "1100001111", "1110000111", "1111000011",
    // 16 to 31
    "0011111100", "0011110011", "0011100111", "0011001111", "1111001100", "1110011100",
    "1100111100", "1100110011", "1111110000", "1111100000", "1110000011", "1100000111",
    "1100011100", "1110011000", "1110001100", "1100111000",
    // 32 to 47
    "0011000111", "0001110011", "0001100111", "0011100011", "0011111000", "0001111100",
    "0000011111", "0000001111", "0011001100", "0011000011", "0001100011", "0000110011",
    "1100110000", "1100011000", "1100001100", "1100000011",
    // 48 to 63
    "0000111100", "0001111000", "0011110000", "0011100000", "0011000000", "1111000000",
    "1110000000", "1100000000", "0001100000", "0001110000", "0000110000", "0000111000",
    "0000011000", "0000011100", "0000001100", "0000000111"};

std::array<std::uint32_t, 4> GroupSymbols(std::uint32_t aux, std::uint32_t delta,
                                          std::uint32_t position, std::uint32_t ecc) {
  return {aux << 4 | delta, position >> 4, (position & 15) << 2 | ecc >> 6, ecc & 63};
}
