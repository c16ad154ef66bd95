// Groups in, the affine ecc code most of them agree with out.
#include "study/ecc_search.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <random>

namespace {

constexpr int Unknowns = GroupDataBits + 1;  // the data bits and the constant
constexpr std::uint32_t ConstantColumn = 1u << GroupDataBits;
constexpr std::uint32_t CoefficientMask = (1u << Unknowns) - 1;
// Codes tried. A draw takes about 20 words; when 90 percent of the groups fit one code, a draw
// of only such words comes one time in 8, so 100 draws miss it a few times in a million.
constexpr int Draws = 100;
constexpr int MostWordsPerDraw = 4 * Unknowns;
constexpr double FoundShare = 0.9;  // of the groups, to call the code found
// Different groups beyond those that pin the code: each that agrees by chance does so once in 256.
constexpr std::uint64_t SpareWords = 8;
constexpr std::uint64_t TriesSeed = 0x65636Cull;  // fixed: the same capture gives the same code

// An equation over GF(2): the data bits and the constant as coefficients (bits 0 to 16), the
// ecc as the right-hand sides of all eight codes at once (bits 17 to 24).
std::uint32_t Equation(std::uint32_t data, std::uint32_t ecc) {
  return data | ConstantColumn | ecc << Unknowns;
}

// Rows in reduced echelon form, by pivot column: each row's pivot is its highest coefficient
// and appears in no other row.
struct Echelon {
  std::array<std::uint32_t, Unknowns> Rows{};
  int Rank = 0;

  // Adds an equation; false when it contradicts the rows already there.
  bool Add(std::uint32_t row) {
    for (int p = 0; p < Unknowns; ++p) {
      if (Rows[static_cast<std::size_t>(p)] != 0 && (row >> p & 1))
        row ^= Rows[static_cast<std::size_t>(p)];
    }
    std::uint32_t coefficients = row & CoefficientMask;
    if (coefficients == 0) return row == 0;
    int pivot = std::bit_width(coefficients) - 1;
    for (std::uint32_t& other : Rows) {
      if (other != 0 && (other >> pivot & 1)) other ^= row;
    }
    Rows[static_cast<std::size_t>(pivot)] = row;
    ++Rank;
    return true;
  }

  // The code with every unknown the rows leave free set to 0.
  EccCode Code() const {
    EccCode code;
    for (int j = 0; j < Unknowns; ++j) {
      std::uint32_t ecc = Rows[static_cast<std::size_t>(j)] >> Unknowns;
      for (int k = 0; k < EccBits; ++k) {
        if (!(ecc >> k & 1)) continue;
        if (j == GroupDataBits) {
          code.Constants |= 1u << k;
        } else {
          code.Masks[static_cast<std::size_t>(k)] |= 1u << j;
        }
      }
    }
    return code;
  }
};

void CountUp(std::uint32_t& count) {
  if (count < std::numeric_limits<std::uint32_t>::max()) ++count;
}

}  // namespace

bool EccSearchResult::Varied() const {
  return DistinctWords >= static_cast<std::uint64_t>(Rank) + SpareWords;
}

bool EccSearchResult::Found() const {
  return Varied() && static_cast<double>(Fitting) >= FoundShare * static_cast<double>(Groups);
}

void EccSearch::Add(const GroupFields& fields) {
  if (words_.empty()) words_.resize(std::size_t{1} << GroupDataBits);
  WordTally& tally = words_[GroupData(fields)];
  auto ecc = static_cast<std::uint8_t>(fields.Ecc);
  if (tally.First == 0 || tally.FirstEcc == ecc) {
    tally.FirstEcc = ecc;
    CountUp(tally.First);
  } else if (tally.Second == 0 || tally.SecondEcc == ecc) {
    tally.SecondEcc = ecc;
    CountUp(tally.Second);
  } else {
    CountUp(tally.Other);
  }
  ++groups_;
}

EccSearchResult EccSearch::Solve() const {
  EccSearchResult result;
  result.Groups = groups_;
  if (groups_ == 0) return result;

  // Each word seen once, with its commoner ecc: the equations to draw from.
  std::vector<std::uint32_t> seen;
  std::vector<std::uint64_t> weightUpTo;  // running sum of the words' commoner counts
  std::uint32_t anyOn = 0, allOn = CoefficientMask;
  Echelon all;
  std::uint64_t weight = 0, bestPossible = 0;
  for (std::uint32_t data = 0; data < words_.size(); ++data) {
    const WordTally& tally = words_[data];
    if (tally.First == 0) continue;
    seen.push_back(data);
    std::uint32_t commoner = std::max(tally.First, tally.Second);
    weight += commoner;
    bestPossible += commoner;
    weightUpTo.push_back(weight);
    anyOn |= data;
    allOn &= data;
    all.Add(data | ConstantColumn);  // coefficients only: how much the data can pin
  }
  result.DistinctWords = seen.size();
  result.Rank = all.Rank;
  result.SteadyDataBits = GroupDataBits - std::popcount((anyOn & ~allOn) & 0xFFFFu);

  auto fitting = [&](const EccCode& code) {
    std::uint64_t agree = 0;
    for (std::uint32_t data : seen) {
      const WordTally& tally = words_[data];
      std::uint32_t ecc = EccOf(code, data);
      if (ecc == tally.FirstEcc) agree += tally.First;
      if (ecc == tally.SecondEcc && tally.Second > 0) agree += tally.Second;
    }
    return agree;
  };

  std::mt19937_64 random(TriesSeed);
  bool tried = false;
  for (int draw = 0; draw < Draws && result.Fitting < bestPossible; ++draw) {
    Echelon sample;
    bool consistent = true;
    for (int n = 0; n < MostWordsPerDraw && sample.Rank < all.Rank && consistent; ++n) {
      std::uint64_t at = random() % weight;
      auto index = static_cast<std::size_t>(
          std::upper_bound(weightUpTo.begin(), weightUpTo.end(), at) - weightUpTo.begin());
      const WordTally& tally = words_[seen[index]];
      std::uint8_t ecc = tally.First >= tally.Second ? tally.FirstEcc : tally.SecondEcc;
      consistent = sample.Add(Equation(seen[index], ecc));
    }
    if (!consistent) continue;
    EccCode code = sample.Code();
    std::uint64_t agree = fitting(code);
    if (agree > result.Fitting || !tried) {
      result.Fitting = agree;
      result.Code = code;
      tried = true;
    }
  }
  return result;
}
