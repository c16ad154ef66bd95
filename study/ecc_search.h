// Finds a capture's ecc code from its own groups. In: every group heard. Out: the affine code
// (see ecc/affine_code.h) that the most groups agree with, how many do, and whether the groups
// varied enough to pin it.
//
// Memory is fixed: for each of the 65536 data words, the first two ecc values seen with it and
// how often each came (others are only counted), so a word's true ecc survives a few damaged
// copies. The code is solved like RANSAC: a hundred times, words drawn at random (the
// commoner the likelier) are added until they pin as much of the code as all words do, the
// code they give is solved by Gaussian elimination over GF(2), and the code that most groups
// agree with is kept. Damaged groups (a wrong ecc, or wrong data with the old ecc) rarely get
// into a draw and never agree with the right code, so they cannot spoil it.
#pragma once

#include <cstdint>
#include <vector>

#include "ecc/affine_code.h"

struct EccSearchResult {
  EccCode Code;                     ///< the code most groups agree with
  std::uint64_t Groups = 0;         ///< groups heard
  std::uint64_t Fitting = 0;        ///< groups that agree with Code
  std::uint64_t DistinctWords = 0;  ///< different data words among them
  int Rank = 0;                     ///< independent equations the data give, of 17
  int SteadyDataBits = 0;           ///< data bits that never changed
  // All 17 unknowns of each ecc bit (16 data bits and the constant) are pinned by the data;
  // otherwise the code is known only for groups like those seen (aux's low bit, for one, is
  // always 0 in groups that pass the aux check).
  bool Pinned() const { return Rank == GroupDataBits + 1; }
  // Enough different groups beyond those the code takes that agreeing with it says something.
  bool Varied() const;
  // Varied, and nearly all groups agree with the code.
  bool Found() const;
};

class EccSearch {
 public:
  void Add(const GroupFields& fields);
  std::uint64_t Groups() const { return groups_; }
  EccSearchResult Solve() const;

 private:
  struct WordTally {
    std::uint8_t FirstEcc = 0, SecondEcc = 0;
    std::uint32_t First = 0, Second = 0, Other = 0;  // saturating counts
  };
  std::vector<WordTally> words_;  // by data word, made when the first group comes
  std::uint64_t groups_ = 0;
};
