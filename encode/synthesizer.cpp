// Frame fields in, one frame at a time; the run durations of the capture out.
#include "encode/synthesizer.h"

#include <algorithm>
#include <cmath>

#include "decoder/pcm_byte_table.h"
#include "encode/run_lengths.h"

namespace {

// The glitch generator's seed differs from the jitter generator's, so the two never draw the
// same numbers.
constexpr std::uint64_t GlitchSeedOffset = 0x676C69746368ull;

constexpr std::size_t FrameHeaderBitsMax = FrameTypeBits + EvenExtraBitCount;

std::uint32_t LongestRun(std::uint32_t word) {
  std::uint32_t longest = 0, length = 0, previous = 2;
  for (std::uint32_t i = CodeWordBits; i-- > 0;) {
    std::uint32_t bit = (word >> i) & 1;
    length = bit == previous ? length + 1 : 1;
    previous = bit;
    if (length > longest) longest = length;
  }
  return longest;
}

// An invalid word whose runs are short enough that, merged with its neighbours, no run can
// reach a sync's length.
std::uint32_t RandomInvalidWord(SeededRandom& random) {
  for (;;) {
    auto word = static_cast<std::uint32_t>(random.Below(1u << CodeWordBits));
    if (PcmByteTable[word] == InvalidCodeWord && LongestRun(word) <= 4) return word;
  }
}

// Overwrites one code word of the frame's bits with an invalid one.
void CorruptCodeWord(BitStream& bits, SeededRandom& random) {
  std::size_t header = bits.size() - CodeWordsPerFrame * CodeWordBits;
  std::size_t start = header + random.Below(CodeWordsPerFrame) * CodeWordBits;
  std::uint32_t word = RandomInvalidWord(random);
  for (std::uint32_t i = 0; i < CodeWordBits; ++i) {
    bits[start + i] = static_cast<std::uint8_t>((word >> (CodeWordBits - 1 - i)) & 1);
  }
}

// Splits one run of three cells or more into (1, 1, rest): a spike of the other level.
void SplitRun(CellRuns& runs, std::size_t firstRun, SeededRandom& random) {
  std::vector<std::size_t> candidates;
  for (std::size_t i = firstRun; i < runs.size(); ++i) {
    if (runs[i] >= 3) candidates.push_back(i);
  }
  if (candidates.empty()) return;
  std::size_t at = candidates[random.Below(candidates.size())];
  std::int32_t rest = runs[at] - 2;
  runs[at] = 1;
  runs.insert(runs.begin() + static_cast<std::ptrdiff_t>(at) + 1, {1, rest});
}

}  // namespace

CaptureSynthesizer::CaptureSynthesizer(const Impairments& impairments)
    : impairments_(impairments),
      gapCells_(static_cast<std::int32_t>(std::lround(impairments.GapMs / MillisecondsPerCell))),
      glitchRandom_(impairments.Seed + GlitchSeedOffset),
      jitterRandom_(impairments.Seed),
      clock_(impairments.Jitter, jitterRandom_, UnitsPerCell * impairments.TimeScale) {
  if (gapCells_ == SyncCells) ++gapCells_;
}

void CaptureSynthesizer::AddFrame(const FrameFields& frame, RunDurations& durations,
                                  CellRuns* cells) {
  runs_.clear();
  if (frames_ > 0 && gapCells_ > 0 &&
      frames_ % std::max<std::size_t>(1, impairments_.GapEvery) == 0)
    runs_.push_back(gapCells_);
  runs_.push_back(SyncCells);
  bits_.clear();
  AppendFrame(bits_, frame);

  bool glitch = impairments_.GlitchRate > 0 && glitchRandom_.Unit() < impairments_.GlitchRate;
  bool splitRun = glitch && glitchRandom_.Below(2) == 1;
  if (glitch && !splitRun) CorruptCodeWord(bits_, glitchRandom_);
  std::size_t firstRun = runs_.size();
  AppendRunsAfterSync(runs_, bits_);
  if (splitRun) SplitRun(runs_, firstRun + FrameHeaderBitsMax / 2, glitchRandom_);
  glitched_ += glitch;
  ++frames_;
  for (std::int32_t run : runs_) durations.push_back(clock_.Next(run));
  if (cells != nullptr) cells->insert(cells->end(), runs_.begin(), runs_.end());
}

SynthesizedCapture SynthesizeCapture(const std::vector<FrameFields>& frames,
                                     const Impairments& impairments) {
  CaptureSynthesizer synthesizer(impairments);
  SynthesizedCapture capture;
  for (const FrameFields& frame : frames) {
    synthesizer.AddFrame(frame, capture.Durations, &capture.Cells);
  }
  capture.GlitchedFrames = synthesizer.GlitchedFrames();
  return capture;
}
