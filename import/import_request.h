// What every importer is given and what it reports back. In: the input's name, where the runs
// go (a capture file's writer, a decode session), and the options of every kind of input. Out: a
// summary of what was read, for the import's closing report.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/run_sink.h"
#include "import/cell_receiver.h"
#include "timing/cell_length_fit.h"

struct AudioImportOptions {
  int Channel = 1;  // 1-based
  ReceiverSettings Receiver;
  // Raw PCM and sound cards, which carry no header: the sample format (u8, s8, s16le, s16be,
  // s24le, s32le, f32le; a sound card is always read as s16le), the rate and the channels.
  std::string RawFormat;
  int Rate = 44100;
  int Channels = 1;
  std::string Device;      // an ALSA capture device, instead of an input file
  double MostSeconds = 0;  // stop after this much audio; 0: at the end of the input
};

struct LogicImportOptions {
  std::string Signal;  // VCD only; empty: the file's only signal
};

// Called after each block of a recording longer than a few seconds, with the fraction read.
using ProgressReport = std::function<void(double)>;

// What a block of audio looked like as it came in, for someone watching the input.
struct BlockLevels {
  float Peak = 0;              // the largest magnitude, full scale 1
  std::uint64_t Clipped = 0;   // samples at full scale or beyond (clipped), in the block
  double UnitsPerCell = 0;     // the cell length the receiver's clock measures, so far
  std::uint64_t Overruns = 0;  // so far: times a sound card's buffer filled before it was read
};
using LevelReport = std::function<void(const BlockLevels&)>;

struct ImportRequest {
  std::string Input;            // a file, or - for standard input
  RunSink* Sink = nullptr;      // receives the runs
  std::optional<double> Scale;  // the transmitter's clock factor; none: audio timing is tracked
  AudioImportOptions Audio;
  LogicImportOptions Logic;
  ProgressReport Progress;
  LevelReport Levels;  // audio: after each block, when set
};

struct ImportSummary {
  std::string Format;  // as the input's reader names it
  double Rate = 0;     // samples per second (0 for event-based inputs)
  int Channels = 0;
  double Seconds = 0;  // length of the recording
  double HighLevel = 0, LowLevel = 0;
  std::uint64_t Runs = 0;
  std::uint64_t RunsClamped = 0;
  std::uint64_t SamplesNotNumbers = 0;  // NaN samples, replaced by the one before
  std::uint64_t SamplesClipped = 0;     // beyond full scale (infinities too), clipped
  std::uint64_t Overruns = 0;           // times a sound card's buffer filled before it was read
  bool EndedBySignal = false;           // a stream the user ended (SIGINT, SIGTERM)
  bool EndedBySink = false;             // the sink took no more (a failed write, a reader quit)
  CellLengthFit Fit;                    // of the durations as recorded
  bool TimingTracked = false;           // audio: the receiver's cell clock followed the cell length
  double MeasuredUnitsPerCell = 0;      // audio: the cell length it measured
};

// The closing report, as lines for standard error (the command puts its name before each): the
// input and its format, its levels, the runs written to `outputName`, the cell length measured
// against the nominal one (and the --scale to use when it is off), and idle stretches that had
// to be shortened.
std::string ImportSummaryText(const ImportRequest& request, const std::string& outputName,
                              const ImportSummary& summary);
