// A group's check code. In: the 16 data bits of a group (aux, delta, position) and a code. Out:
// the 8-bit ecc the code gives them, whether a group agrees with it, and the code as text.
//
// The code is affine over GF(2): each ecc bit is a constant XOR the parity of some of the data
// bits. The data bits are taken in the group's own order, aux highest:
//
//   data  AADDDDPPPPPPPPPP     A aux (2 bits)   D delta (4)   P position (10)
//   ecc   bit K = constant K  XOR  parity(data AND mask K),  K = 0 (lowest) to 7
//
// The code of real transmitters is not known to us; `analyze` finds it from a capture's groups.
// As text, one line per ecc bit, any order, `#` comments and blank lines ignored:
//
//   bit 0: mask 0x1a2b constant 1
#pragma once

#include <array>
#include <cstdint>
#include <istream>
#include <string>

#include "channels/group_fields.h"

inline constexpr int EccBits = 8;
inline constexpr int GroupDataBits = 16;

struct EccCode {
  std::array<std::uint32_t, EccBits> Masks{};  ///< bit K: the data bits its parity sums
  std::uint32_t Constants = 0;                 ///< bit K: ecc bit K's constant
};

// The group's aux, delta and position as 16 bits, aux highest.
inline std::uint32_t GroupData(const GroupFields& fields) {
  return (fields.Aux & 3u) << 14 | (fields.Delta & 15u) << 10 | (fields.Position & 1023u);
}

// The ecc that `code` gives the 16 data bits `data`.
std::uint32_t EccOf(const EccCode& code, std::uint32_t data);

// Whether the group's ecc is the one the code gives its data.
inline bool FitsCode(const EccCode& code, const GroupFields& fields) {
  return EccOf(code, GroupData(fields)) == fields.Ecc;
}

// The code as text, the file format above with a comment that explains it.
std::string EccCodeText(const EccCode& code);

// Reads a code in the format above from `in`; `name` is used in messages. Returns an error text
// ("NAME:LINE: ..."), empty on success.
std::string ReadEccCode(std::istream& in, const std::string& name, EccCode& code);

// Reads the code in the file `path`. Returns an error text, empty on success.
std::string LoadEccCode(const std::string& path, EccCode& code);
