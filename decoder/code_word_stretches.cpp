// Block decoding: how Morvantis hands a block of run durations to the run decoder.
//
// In: a block of durations in file order. Out: exactly what DecodeRun would print and leave
// behind, run by run.
//
// Most runs of a capture lie inside a frame's code words. There a run only adds its bits, and
// every few runs one completes a word; which run does depends on the data, so deciding it run by
// run costs a mispredicted branch every few runs. A stretch of such runs is therefore decoded in
// two passes:
//
//   scan     per run: its cells, its end position in the stretch, the level flipped from there
//   deliver  per stretch: every 10 bits a word, in order
//
//   position   0         p0                                           10k      10k+10
//   bits       [pending ][run][run ][run][run  ][run] ...   word k = [          ]
//   flips                ^    ^     ^    ^      ^   (every bit from here on changes level)
//
// Positions count from the oldest pending bit, so word k of the stretch is bits 10k to 10k+9,
// which DecodeRun takes in the run that completes it, as long as no run completes two words'
// worth (a stretch stops before such a run). A stretch ends with the run that completes the
// frame's last word. Everything else goes through DecodeRun: syncs, frame headers, runs of 0
// cells or too long, and stretches in which a word turns out invalid.
#include <array>
#include <bit>
#include <cstring>

#include "common/verbose_level.h"
#include "decoder/pcm_byte_table.h"
#include "decoder/pending_bits.h"
#include "decoder/run_decoder.h"
#include "decoder/symbol_output.h"

namespace {

// A run is looked at from a position below 10 x 16 and adds at most 154 cells.
constexpr std::uint32_t StretchBitLimit = 512;
static_assert(CodeWordsPerFrame * CodeWordBits + CellTable[CellTableSize - 1] < StretchBitLimit);

// Which word a position falls in.
constexpr auto WordOfPosition = [] {
  std::array<std::uint8_t, StretchBitLimit> words{};
  for (std::uint32_t position = 0; position < StretchBitLimit; ++position) {
    words[position] = static_cast<std::uint8_t>(position / CodeWordBits);
  }
  return words;
}();

// Runs of fewer than 4 capture units are 0 cells long; they are left to DecodeRun.
constexpr std::uint32_t ShortestRun = 4;
static_assert(CellsByFormula(ShortestRun - 1) == 0 && CellsByFormula(ShortestRun) == 1);

// Words arrive oldest bit first, so the scan's positions hold them bit-reversed: the first bit of
// a word is its lowest. These tables read such a reversed word.
constexpr std::uint32_t ReverseWord(std::uint32_t reversed) {
  std::uint32_t word = 0;
  for (std::uint32_t bit = 0; bit < CodeWordBits; ++bit) {
    word |= ((reversed >> bit) & 1) << (CodeWordBits - 1 - bit);
  }
  return word;
}
constexpr auto CodeOfReversed = [] {
  std::array<std::uint16_t, 1024> codes{};
  for (std::uint32_t reversed = 0; reversed < codes.size(); ++reversed) {
    codes[reversed] = static_cast<std::uint16_t>(ReverseWord(reversed));
  }
  return codes;
}();
constexpr auto SymbolOfReversed = [] {
  std::array<std::int8_t, 1024> symbols{};
  for (std::uint32_t reversed = 0; reversed < symbols.size(); ++reversed) {
    symbols[reversed] = static_cast<std::int8_t>(PcmByteTable[CodeOfReversed[reversed]]);
  }
  return symbols;
}();

// One stretch's bits, lowest position first. They are written 8 bytes at a time at a byte offset
// that follows the position, so they need room for one store past the last position.
constexpr std::size_t StretchBytes = 64;
static_assert(StretchBytes >= (CodeWordsPerFrame * CodeWordBits + 19) / 8 + sizeof(std::uint64_t));
struct StretchBitsState {
  std::array<std::uint8_t, StretchBytes> Levels;          // the bits themselves
  std::array<std::uint16_t, CodeWordsPerFrame> Reversed;  // each word, first bit lowest
  std::array<std::int32_t, CodeWordsPerFrame> Symbol;
};
StretchBitsState StretchBits;

std::uint64_t LoadBits(const std::array<std::uint8_t, StretchBytes>& bytes, std::uint32_t from) {
  std::uint64_t value;
  std::memcpy(&value, bytes.data() + from / 8, sizeof value);
  return value >> (from % 8);
}

// Where a scan stopped.
struct StretchScan {
  const std::int32_t* End;  // the first run not scanned
  std::uint32_t Position;   // the end of the last run scanned
};

// The hot loop: finds where each run ends and marks it, until the run that completes the frame's
// last word or one that the stretch must leave to DecodeRun. The bits collect in a 64-bit window
// in which every bit from the last run's end on holds the next run's level, so a run's end flips
// all bits from there up. The window is written out after every second run and then moves on by
// whole bytes, filling in the next run's level from the top; it always starts less than 10
// positions back, so two runs of up to 19 cells fit below its top bit. Built twice, and the copy
// for processors with variable-shift instructions is chosen when the program starts.
#if defined(__x86_64__)
#define MORVANTIS_WITH_VARIABLE_SHIFTS [[gnu::target_clones("default", "arch=x86-64-v3")]]
#else
#define MORVANTIS_WITH_VARIABLE_SHIFTS
#endif
MORVANTIS_WITH_VARIABLE_SHIFTS StretchScan ScanStretch(const std::int32_t* run,
                                                       const std::int32_t* const end,
                                                       std::uint32_t position, std::uint64_t window,
                                                       const std::uint32_t lastWordEnd) {
  std::uint32_t windowStart = 0;
  std::uint32_t word = WordOfPosition[position];  // the word the next bit belongs to
  // Adds one run and returns true, or returns false when the stretch ends: before the run, or
  // after it (`run` then points past it) when it completes the frame's last word. Runs of 0
  // cells or beyond the cell table end it, and so does a run that would complete two words'
  // worth; every run the stretch takes is 1 to 19 cells.
  auto add = [&](const std::int32_t*& run) {
    // Negative runs wrap to large values, and runs of 0 cells to larger still.
    auto index = static_cast<std::uint32_t>(*run) - ShortestRun;
    if (index >= CellTableSize - ShortestRun) return false;
    std::uint32_t after = position + CellTable[index + ShortestRun];
    std::uint32_t wordAfter = WordOfPosition[after];
    if (wordAfter > word + 1) return false;
    window ^= ~std::uint64_t{0} << (after - windowStart);
    position = after;
    word = wordAfter;
    ++run;
    return after < lastWordEnd;
  };
  auto writeWindow = [&] {
    std::memcpy(StretchBits.Levels.data() + windowStart / 8, &window, sizeof window);
  };
  for (;;) {
    if (end - run < 2) {
      if (run != end) add(run);
      break;
    }
    if (!add(run) || !add(run)) break;
    writeWindow();
    std::uint32_t shift = (position - windowStart) & ~std::uint32_t{7};
    window = static_cast<std::uint64_t>(static_cast<std::int64_t>(window) >> shift);
    windowStart += shift;
  }
  writeWindow();
  return {run, position};
}

struct StretchEnd {
  std::size_t End;  // the first run the stretch did not decode
  bool Replay;      // it met an invalid word; nothing was kept and DecodeRun must redo it
};

// Decodes runs from `begin` while they stay inside the frame's code words, given the decoder is
// in PcmBytes with fewer than 10 bits pending.
StretchEnd DecodeCodeWordStretch(const std::int32_t* durations, std::size_t begin,
                                 std::size_t count) {
  // The pending bits open the stretch, oldest first; above them, the first run's level.
  const std::uint32_t pending = PendingBits.BitCount;
  const std::uint64_t window = CodeOfReversed[PendingBits.BitWord << (CodeWordBits - pending)] |
                               (std::uint64_t{PendingBits.RunLevel} << 32 | PendingBits.RunLevel)
                                   << pending;

  const std::uint32_t wordsLeft =
      CodeWordsPerFrame - (RunDecoder.GroupIndex * SymbolsPerGroup + RunDecoder.SymbolIndex);
  StretchScan scan =
      ScanStretch(durations + begin, durations + count, pending, window, wordsLeft * CodeWordBits);
  const std::size_t end = static_cast<std::size_t>(scan.End - durations);
  const std::uint32_t position = scan.Position;
  const std::uint32_t taken = WordOfPosition[position];

  bool valid = true;
  for (std::uint32_t k = 0; k < taken; ++k) {
    auto reversed = static_cast<std::uint16_t>(LoadBits(StretchBits.Levels, k * CodeWordBits) &
                                               (PcmByteTable.size() - 1));
    StretchBits.Reversed[k] = reversed;
    StretchBits.Symbol[k] = SymbolOfReversed[reversed];
    valid &= StretchBits.Symbol[k] != InvalidCodeWord;
  }
  if (!valid) return {end, true};

  const bool show = VerboseLevel > 3;
  const std::uint32_t cellsAtStart = RunDecoder.CellTotal - pending;  // at position 0
  std::uint32_t slot = RunDecoder.SymbolIndex;
  for (std::uint32_t k = 0; k < taken; ++k) {
    std::int32_t symbol = StretchBits.Symbol[k];
    if (show) {
      PrintBits(CodeOfReversed[StretchBits.Reversed[k]], CodeWordBits, " ");
      PrintSymbol(symbol);
    }
    RunDecoder.PcmGroup[slot] = static_cast<std::uint32_t>(symbol);
    if (++slot < SymbolsPerGroup) continue;
    // The listener sees the cell total after the run that completed the group: that run ends
    // at the first change of level from the word's end on.
    std::uint32_t wordEnd = (k + 1) * CodeWordBits;
    std::uint64_t levels = LoadBits(StretchBits.Levels, wordEnd - 1);
    std::uint32_t runEnd =
        wordEnd + static_cast<std::uint32_t>(std::countr_zero(levels ^ (levels >> 1)));
    RunDecoder.CellTotal = cellsAtStart + runEnd;
    HandOnGroup();
    slot = 0;
    ++RunDecoder.GroupIndex;
  }
  RunDecoder.SymbolIndex = slot;
  RunDecoder.CellTotal = cellsAtStart + position;
  if (RunDecoder.GroupIndex == GroupsPerFrame) EndFrame();
  const std::uint32_t left = position - taken * CodeWordBits;
  const std::uint32_t leftBits =
      LoadBits(StretchBits.Levels, taken * CodeWordBits) & LowBitsMask(left);
  const bool oddRuns = ((end - begin) & 1) != 0;
  PendingBits = {std::uint32_t{CodeOfReversed[leftBits]} >> (CodeWordBits - left), left,
                 oddRuns ? ~PendingBits.RunLevel : PendingBits.RunLevel};
  return {end, false};
}

}  // namespace

Polarity DecodeRunBlock(const std::int32_t* durations, std::size_t count, Polarity polarity) {
  std::size_t i = 0;
  while (i < count) {
    if (RunDecoder.DecoderState == PcmBytes && PendingBits.BitCount < CodeWordBits) {
      StretchEnd stretch = DecodeCodeWordStretch(durations, i, count);
      if (stretch.Replay) {
        // DecodeRun meets the invalid word again and leaves the frame at its run.
        while (i < stretch.End && RunDecoder.DecoderState == PcmBytes) {
          DecodeRun(durations[i++], polarity);
          polarity ^= 1;
        }
        continue;
      }
      polarity ^= static_cast<Polarity>((stretch.End - i) & 1);
      i = stretch.End;
      if (i == count) break;
    }
    DecodeRun(durations[i++], polarity);
    polarity ^= 1;
  }
  return polarity;
}
