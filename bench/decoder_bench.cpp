// Micro-benchmarks: the run decoder on in-memory runs at each verbose level, and the output
// formatting helpers, all writing into a sink that discards the text.
#include <benchmark/benchmark.h>

#include "channels/channel_display.h"
#include "channels/group_decoder.h"
#include "common/text_output.h"
#include "common/verbose_level.h"
#include "decoder/decoder_setup.h"
#include "decoder/pending_bits.h"
#include "decoder/run_decoder.h"
#include "encode/channel_frames.h"
#include "encode/signal_patterns.h"
#include "encode/synthesizer.h"

namespace {

const RunDurations& BenchCapture() {
  static const RunDurations durations = [] {
    Impairments impairments;
    impairments.Jitter = 0.5;
    impairments.GlitchRate = 0.001;
    auto rows = PatternRows(SignalPattern::Sweep, 20000);
    return SynthesizeCapture(FramesFromRows(rows, OddFrame, 0), impairments).Durations;
  }();
  return durations;
}

// Single runs through DecodeRun, as the companion's decode session feeds them, or whole blocks
// through DecodeRunBlock, as Morvantis reads a file.
template <bool Blocks>
void DecodeRuns(benchmark::State& state) {
  const RunDurations& durations = BenchCapture();
  DecoderSetup setup(static_cast<std::int32_t>(state.range(0)), DiscardOutput, DecoderListeners);
  ResetChannelDisplay();
  for (auto _ : state) {
    Polarity polarity = 0;
    if constexpr (Blocks) {
      DecodeRunBlock(durations.data(), durations.size(), polarity);
    } else {
      for (std::int32_t duration : durations) {
        DecodeRun(duration, polarity);
        polarity ^= 1;
      }
    }
  }
  DrainOutput();
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(durations.size()));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(durations.size() * 4));
}
BENCHMARK(DecodeRuns<false>)->Arg(0)->Arg(2)->Arg(3)->Arg(4);
BENCHMARK(DecodeRuns<true>)->Arg(0)->Arg(2)->Arg(3)->Arg(4);

void FormatCellTime(benchmark::State& state) {
  SetOutputSink(DiscardOutput);
  std::uint32_t cells = 123456;
  for (auto _ : state) WriteCellTime(cells += 185);
  DrainOutput();
}
BENCHMARK(FormatCellTime);

void FormatTenBits(benchmark::State& state) {
  SetOutputSink(DiscardOutput);
  std::uint32_t word = 0;
  for (auto _ : state) PrintBits(word++ & 1023, 10, " ");
  DrainOutput();
}
BENCHMARK(FormatTenBits);

void FormatGroupLine(benchmark::State& state) {
  SetOutputSink(DiscardOutput);
  VerboseLevel = 3;
  std::uint32_t i = 0;
  for (auto _ : state) {
    DecodeGroup({40, i & 63, 7, 33}, OddFrame, i & 3);
    ++i;
  }
  DrainOutput();
}
BENCHMARK(FormatGroupLine);

}  // namespace

BENCHMARK_MAIN();
