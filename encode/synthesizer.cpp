// Frame fields and impairments in, a whole capture (cells and durations) out.
#include "encode/synthesizer.h"

#include <cmath>

#include "decoder/pcm_byte_table.h"
#include "encode/run_lengths.h"

namespace {

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

SynthesizedCapture SynthesizeCapture(const std::vector<FrameFields>& frames,
                                     const Impairments& impairments) {
  SeededRandom random(impairments.Seed);
  SynthesizedCapture capture;
  auto gapCells = static_cast<std::int32_t>(std::lround(impairments.GapMs / MillisecondsPerCell));
  if (gapCells == SyncCells) ++gapCells;

  BitStream bits;
  for (std::size_t f = 0; f < frames.size(); ++f) {
    if (f > 0 && gapCells > 0) capture.Cells.push_back(gapCells);
    capture.Cells.push_back(SyncCells);
    bits.clear();
    AppendFrame(bits, frames[f]);

    bool glitch = impairments.GlitchRate > 0 && random.Unit() < impairments.GlitchRate;
    bool splitRun = glitch && random.Below(2) == 1;
    if (glitch && !splitRun) CorruptCodeWord(bits, random);
    std::size_t firstRun = capture.Cells.size();
    AppendRunsAfterSync(capture.Cells, bits);
    if (splitRun) SplitRun(capture.Cells, firstRun + FrameHeaderBitsMax / 2, random);
    capture.GlitchedFrames += glitch;
  }
  capture.Durations = DurationsFromCells(capture.Cells, impairments.Jitter, random);
  return capture;
}
