// Helpers the tests share: decoding in-process into a string, running the built programs, and
// building captures from frames with the encoder. Expected texts are formatted here with
// printf and the formats the decoder's output is defined by, independently of the decoder.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/run_sink.h"
#include "decoder/decoder_events.h"
#include "encode/cell_durations.h"
#include "encode/frame_bits.h"
#include "files/capture_file.h"

// Output sink for tests: everything printed is appended to CapturedOutput.
extern std::string CapturedOutput;
bool CaptureOutput(const char* data, std::size_t size);

// Installs the channel stage as the decoder's group listener, as Morvantis does.
void ListenWithChannelDisplay();

// Listeners that note every decoder event, in order, in the vector of strings the context points
// to ("sync CELLS POLARITY INDEX", "type CELLS KIND VALUE", "invalid CELLS WORD",
// "group CELLS S0 S1 S2 S3 PARITY INDEX", "end CELLS"), and hand groups on to the channel stage.
DecoderEvents EventRecorder(std::vector<std::string>& events);

// Decodes `durations` from a fresh decoder state at level 0; returns the events noted.
std::vector<std::string> DecodeToEvents(const RunDurations& durations);

// Decodes `durations` from a fresh decoder state at `level`, with the channel stage listening;
// returns everything printed.
std::string DecodeToText(const RunDurations& durations, std::int32_t level);

// A run sink that keeps every run it is given.
struct RunCollector : RunSink {
  RunDurations Runs;
  bool TakeRuns(const std::int32_t* durations, std::size_t count) override {
    Runs.insert(Runs.end(), durations, durations + count);
    return true;
  }
};

struct ProgramResult {
  std::string out;
  std::string err;
  int exitCode;
};

// Runs a shell command line; captures standard output and standard error.
ProgramResult RunCommand(const std::string& commandLine);

// A fresh temporary path ending in `suffix`, removed when the test binary ends.
std::string TemporaryPath(const std::string& suffix);

// Durations of cell runs without jitter.
RunDurations Durations(const CellRuns& cells);

// Sync run, then the frame's bits as runs.
void AppendSyncedFrame(CellRuns& cells, const FrameFields& frame);

// A frame whose every group carries the given fields with the expected aux.
FrameFields MakeFrame(int parity, std::uint32_t position, std::uint32_t delta,
                      std::uint32_t ecc = 0);

// Whether anything exists at `path`.
bool Exists(const std::string& path);

// Writes raw bytes to a temporary file and returns its path.
std::string WriteTemporaryFile(const std::string& bytes, const std::string& suffix = ".cap");

// printf into a string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The texts the decoder prints, from their defining formats.
std::string SyncLine(bool positive, std::uint32_t cells, int frameNumber);
std::string FrameEndLine(std::uint32_t cells);
std::string GroupLine(std::uint32_t aux, std::uint32_t ecc, int positionChannel,
                      std::uint32_t position, int deltaChannel, std::uint32_t delta,
                      bool auxExpected);
std::string Bits(std::uint32_t value, int count);

// The code word of each symbol, symbols 0 to 63, first-received bit on the left, as the signal
// defines them: a transcription independent of the decoder's and the encoder's table.
extern const std::array<const char*, 64> CodeWordOfSymbol;

// The four symbols of a group, worked out from its fields: aux and delta, the position's upper
// six bits, its lower four with ecc's upper two, ecc's lower six.
std::array<std::uint32_t, 4> GroupSymbols(std::uint32_t aux, std::uint32_t delta,
                                          std::uint32_t position, std::uint32_t ecc);

// A command line run with a pipe to its standard input and one from its standard output, for
// tests of live behaviour: write a chunk, then wait (with a generous timeout) for what it
// should have produced while the input is still open.
class LivePipeline {
 public:
  explicit LivePipeline(const std::string& commandLine);
  ~LivePipeline();
  LivePipeline(const LivePipeline&) = delete;
  LivePipeline& operator=(const LivePipeline&) = delete;

  void Write(const std::string& bytes);
  // Reads output until `done(output so far)` holds or `seconds` pass; returns whether it held.
  bool WaitFor(const std::function<bool(const std::string&)>& done, double seconds = 20);
  // Closes the input, reads the rest, and returns the exit code.
  int Finish();
  // Sends a signal to the command's process group.
  void Signal(int signalNumber);

  const std::string& Output() const { return output_; }

 private:
  bool ReadSome(int timeoutMs);
  int pid_ = -1, in_ = -1, out_ = -1;
  std::string output_;
};

// How often `needle` occurs in `text`.
std::size_t Occurrences(const std::string& text, const std::string& needle);

// Reads a whole file.
std::string ReadFile(const std::string& path);

// A folder with a capture made by synth (SYNTH_OPTIONS) and its audio: a 16-bit mono WAV at
// 44.1 kHz and its samples alone; removed at the end.
struct Recording {
  std::string Folder, Capture, Wav, Raw;
  explicit Recording(const std::string& synthOptions);
  ~Recording();
};

// Frame-end lines in Morvantis's text: one per frame at level 2.
std::size_t FrameLines(const std::string& text);

// An ALSA capture device ("testin") through libasound's file plugin, reading a FIFO in `folder`
// that the test feeds at its own pace; `Environment` goes before the command that opens it.
struct FifoDevice {
  std::string Fifo, Environment;
  explicit FifoDevice(const std::string& folder);
};

// Each frame's held channel positions ("channels" of export's JSON lines), as texts, channel 1
// first; a frame holding fewer than eight is left out.
std::vector<std::vector<std::string>> HeldChannels(const std::string& jsonLines);
