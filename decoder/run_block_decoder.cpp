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
//   scan     per run: its cells, its end position in the stretch, a mark at that position
//   deliver  per stretch: levels from the marks, then every 10 bits a word, in order
//
//   position   0         p0                                           10k      10k+10
//   bits       [pending ][run][run ][run][run  ][run] ...   word k = [          ]
//   marks                ^    ^     ^    ^      ^   (a mark where the level changes)
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

constexpr std::uint32_t WordsPerFrame = SymbolsPerGroup * GroupsPerFrame;

// A stretch ends by position 10 x 16 + 19, and one run adds at most 154 cells.
constexpr std::uint32_t StretchBitLimit = 512;
static_assert(WordsPerFrame * CodeWordBits + CellTable[CellTableSize - 1] < StretchBitLimit);

// Which word a position falls in.
constexpr auto WordOfPosition = [] {
  std::array<std::uint8_t, StretchBitLimit> words{};
  for (std::uint32_t position = 0; position < StretchBitLimit; ++position) {
    words[position] = static_cast<std::uint8_t>(position / CodeWordBits);
  }
  return words;
}();

// Runs of 4 to 69 capture units are 1 to 10 cells: with fewer than 10 bits pending they complete
// at most one word. Longer ones are checked one by one; runs of 0 cells are left to DecodeRun.
constexpr std::uint32_t ShortestRun = 4;
constexpr std::uint32_t LongestShortRun = 69;
static_assert(CellsByFormula(ShortestRun - 1) == 0 && CellsByFormula(ShortestRun) == 1);
static_assert(CellsByFormula(LongestShortRun) == 10 && CellsByFormula(LongestShortRun + 1) == 11);

// The cell table with runs of 0 cells made long enough to end any stretch.
constexpr std::uint32_t EndsStretch = 255;
constexpr auto StretchCells = [] {
  auto cells = CellTable;
  for (std::uint32_t duration = 0; duration < ShortestRun; ++duration)
    cells[duration] = EndsStretch;
  return cells;
}();

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

// One stretch's bits, lowest position first. Marks are written 8 bytes at a time at a byte
// offset that follows the position, so they need room for one store past the last position.
constexpr std::size_t StretchBytes = 64;
static_assert(StretchBytes >= (WordsPerFrame * CodeWordBits + 19) / 8 + sizeof(std::uint64_t));
struct StretchBitsState {
  std::array<std::uint8_t, StretchBytes> Marks;   // a 1 where a run of the stretch begins
  std::array<std::uint8_t, StretchBytes> Levels;  // the bits themselves
  std::array<std::uint16_t, WordsPerFrame> Code;
  std::array<std::int32_t, WordsPerFrame> Symbol;
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
// last word or one that the stretch must leave to DecodeRun. Marks collect in a 64-bit window
// written out after every second run; the window then moves on by whole bytes, so it always starts
// less than 8 positions back and two runs of up to 19 cells fit. Built twice, and the copy for
// processors with variable-shift instructions is chosen when the program starts.
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
  // Adds one run and returns true, or returns false when the stretch ends: before the run, or
  // after it (`run` then points past it) when it completes the frame's last word.
  auto add = [&](const std::int32_t*& run) {
    auto index = static_cast<std::uint32_t>(*run);  // negative runs wrap to large values
    if (index > LongestShortRun) [[unlikely]] {
      // 11 cells or more: fine unless it completes two words' worth.
      if (index >= CellTableSize) return false;
      if (WordOfPosition[position + CellTable[index]] > WordOfPosition[position] + 1) return false;
    }
    std::uint32_t after = position + StretchCells[index];
    bool last = after >= lastWordEnd;
    if (last && StretchCells[index] == EndsStretch) return false;
    window |= std::uint64_t{1} << (after - windowStart);
    position = after;
    ++run;
    return !last;
  };
  auto writeWindow = [&] {
    std::memcpy(StretchBits.Marks.data() + windowStart / 8, &window, sizeof window);
  };
  for (;;) {
    if (end - run < 2) {
      if (run != end) add(run);
      break;
    }
    if (!add(run) || !add(run)) break;
    writeWindow();
    std::uint32_t shift = (position - windowStart) & ~std::uint32_t{7};
    window >>= shift;
    windowStart += shift;
  }
  writeWindow();
  return {run, position};
}
// Levels of the stretch's bits below `position`: a running parity of the marks, from the level
// before position 0.
void FillLevels(std::uint32_t firstLevel, std::uint32_t position) {
  std::uint64_t carry = firstLevel ? ~std::uint64_t{0} : 0;
  for (std::size_t at = 0; at <= position / 8; at += sizeof(std::uint64_t)) {
    std::uint64_t bits;
    std::memcpy(&bits, StretchBits.Marks.data() + at, sizeof bits);
    for (std::uint32_t step = 1; step < 64; step *= 2) bits ^= bits << step;
    bits ^= carry;
    carry = (bits >> 63) ? ~std::uint64_t{0} : 0;
    std::memcpy(StretchBits.Levels.data() + at, &bits, sizeof bits);
  }
}

struct StretchEnd {
  std::size_t End;  // the first run the stretch did not decode
  bool Replay;      // it met an invalid word; nothing was kept and DecodeRun must redo it
};

// Decodes runs from `begin` while they stay inside the frame's code words, given the decoder is
// in PcmBytes with fewer than 10 bits pending.
StretchEnd DecodeCodeWordStretch(const std::int32_t* durations, std::size_t begin,
                                 std::size_t count) {
  // The pending bits open the stretch, oldest first, with a mark wherever the level changes
  // among them and where the first run begins.
  const std::uint32_t pending = PendingBits.BitCount;
  const std::uint32_t runLevel = PendingBits.RunLevel & 1;
  const std::uint32_t pendingBits = CodeOfReversed[PendingBits.BitWord << (CodeWordBits - pending)];
  const std::uint32_t firstLevel = pending > 0 ? pendingBits & 1 : runLevel;
  const std::uint32_t lastLevel = pending > 0 ? (pendingBits >> (pending - 1)) & 1 : firstLevel;
  std::uint64_t window = (pendingBits ^ ((pendingBits << 1) | firstLevel)) & LowBitsMask(pending);
  window |= std::uint64_t{lastLevel ^ runLevel} << pending;

  const std::uint32_t wordsLeft =
      WordsPerFrame - (RunDecoder.GroupIndex * SymbolsPerGroup + RunDecoder.SymbolIndex);
  StretchScan scan =
      ScanStretch(durations + begin, durations + count, pending, window, wordsLeft * CodeWordBits);
  const std::size_t end = static_cast<std::size_t>(scan.End - durations);
  const std::uint32_t position = scan.Position;
  const std::uint32_t taken = WordOfPosition[position];

  FillLevels(firstLevel, position);
  bool valid = true;
  for (std::uint32_t k = 0; k < taken; ++k) {
    std::uint32_t reversed = LoadBits(StretchBits.Levels, k * CodeWordBits) & 1023;
    StretchBits.Code[k] = CodeOfReversed[reversed];
    StretchBits.Symbol[k] = PcmByteTable[StretchBits.Code[k]];
    valid &= StretchBits.Symbol[k] != InvalidCodeWord;
  }
  if (!valid) return {end, true};

  const bool show = VerboseLevel > 3;
  const std::uint32_t cellsAtStart = RunDecoder.CellTotal - pending;  // at position 0
  std::uint32_t slot = RunDecoder.SymbolIndex;
  for (std::uint32_t k = 0; k < taken; ++k) {
    std::int32_t symbol = StretchBits.Symbol[k];
    if (show) {
      PrintBits(StretchBits.Code[k], CodeWordBits, " ");
      PrintSymbol(symbol);
    }
    RunDecoder.PcmGroup[slot] = static_cast<std::uint32_t>(symbol);
    if (++slot < SymbolsPerGroup) continue;
    // The consumer sees the cell total after the run that completed the group: that run ends
    // at the first mark from the word's end on.
    std::uint32_t wordEnd = (k + 1) * CodeWordBits;
    std::uint32_t runEnd = wordEnd + static_cast<std::uint32_t>(
                                         std::countr_zero(LoadBits(StretchBits.Marks, wordEnd)));
    RunDecoder.CellTotal = cellsAtStart + runEnd;
    GroupConsumerHook(RunDecoder.PcmGroup, RunDecoder.FrameParity, RunDecoder.GroupIndex);
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
