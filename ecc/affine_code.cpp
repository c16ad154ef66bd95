// A group's data bits and an affine code in, its ecc out; the code to and from text.
#include "ecc/affine_code.h"

#include <bit>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

constexpr std::size_t LongestLine = 200;

}  // namespace

std::uint32_t EccOf(const EccCode& code, std::uint32_t data) {
  std::uint32_t ecc = code.Constants;
  for (int k = 0; k < EccBits; ++k) {
    ecc ^= static_cast<std::uint32_t>(
               std::popcount(data & code.Masks[static_cast<std::size_t>(k)]) & 1)
           << k;
  }
  return ecc & 0xFFu;
}

std::string EccCodeText(const EccCode& code) {
  std::string text =
      "# ecc bit K = constant K XOR the parity of (data AND mask K); the data are a group's aux,\n"
      "# delta and position as 16 bits, aux highest (AADDDDPPPPPPPPPP).\n";
  for (int k = 0; k < EccBits; ++k) {
    char line[64];
    std::snprintf(line, sizeof line, "bit %d: mask 0x%04x constant %u\n", k,
                  code.Masks[static_cast<std::size_t>(k)], (code.Constants >> k) & 1);
    text += line;
  }
  return text;
}

std::string ReadEccCode(std::istream& in, const std::string& name, EccCode& code) {
  code = {};
  std::uint32_t seen = 0;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    std::string where = name + ":" + std::to_string(number) + ": ";
    if (line.size() > LongestLine) return where + "line too long for an ecc code";
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    int bit = -1, used = 0;
    unsigned mask = 0, constant = 2;
    if (std::sscanf(line.c_str(), " bit %d : mask %x constant %u %n", &bit, &mask, &constant,
                    &used) != 3 ||
        static_cast<std::size_t>(used) != line.size()) {
      return where + "expected \"bit K: mask 0xHHHH constant C\"";
    }
    if (bit < 0 || bit >= EccBits) return where + "the ecc bit must be 0 to 7";
    if (mask > 0xFFFFu) return where + "the mask must be at most 0xffff (16 data bits)";
    if (constant > 1) return where + "the constant must be 0 or 1";
    if (seen >> bit & 1) return where + "bit " + std::to_string(bit) + " is given twice";
    seen |= 1u << bit;
    code.Masks[static_cast<std::size_t>(bit)] = mask;
    code.Constants |= constant << bit;
  }
  if (in.bad()) return name + ": read error";
  for (int k = 0; k < EccBits; ++k) {
    if (!(seen >> k & 1)) return name + ": ecc bit " + std::to_string(k) + " is not given";
  }
  return {};
}

std::string LoadEccCode(const std::string& path, EccCode& code) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) return path + " is a directory";
  std::ifstream file(path);
  if (!file) return "cannot open " + path;
  return ReadEccCode(file, path, code);
}
