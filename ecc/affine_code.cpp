// A group's data bits and an affine code in, its ecc out; the code to and from text.
#include "ecc/affine_code.h"

#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "files/text_lines.h"

namespace {

constexpr std::size_t LongestLine = 200;

// A whole word of `text` that is a number in `base` (hexadecimal with its 0x); false when it is
// not one, or too large.
bool ParseNumber(const std::string& word, int base, unsigned& value) {
  std::size_t skip = base == 16 && word.size() > 2 && word[0] == '0' && (word[1] | 0x20) == 'x';
  const char* first = word.data() + (skip ? 2 : 0);
  const char* last = word.data() + word.size();
  auto [end, error] = std::from_chars(first, last, value, base);
  return error == std::errc() && end == last && first != last && (base != 16 || skip);
}

// "bit K: mask 0xHHHH constant C", blanks anywhere between the parts.
bool ParseCodeLine(std::string line, unsigned& bit, unsigned& mask, unsigned& constant) {
  std::size_t colon = line.find(':');
  if (colon == std::string::npos) return false;
  line.replace(colon, 1, " : ");
  std::istringstream words(line);
  std::string bitWord, number, colonWord, maskWord, maskValue, constantWord, constantValue, extra;
  return words >> bitWord >> number >> colonWord >> maskWord >> maskValue >> constantWord >>
             constantValue &&
         !(words >> extra) && bitWord == "bit" && colonWord == ":" && maskWord == "mask" &&
         constantWord == "constant" && ParseNumber(number, 10, bit) &&
         ParseNumber(maskValue, 16, mask) && ParseNumber(constantValue, 10, constant);
}

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
  TextLines lines(in, LongestLine);
  for (TextLines::Result result; (result = lines.Next(line)) != TextLines::Result::End;) {
    std::string where = name + ":" + std::to_string(lines.Number()) + ": ";
    if (result == TextLines::Result::TooLong) return where + "line too long for an ecc code";
    if (result == TextLines::Result::ReadError) return name + ": read error";
    std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    unsigned bit = 0, mask = 0, constant = 0;
    if (!ParseCodeLine(line, bit, mask, constant)) {
      return where + "expected \"bit K: mask 0xHHHH constant C\"";
    }
    if (bit >= static_cast<unsigned>(EccBits)) return where + "the ecc bit must be 0 to 7";
    if (mask > 0xFFFFu) return where + "the mask must be at most 0xffff (16 data bits)";
    if (constant > 1) return where + "the constant must be 0 or 1";
    if (seen >> bit & 1) return where + "bit " + std::to_string(bit) + " is given twice";
    seen |= 1u << bit;
    code.Masks[static_cast<std::size_t>(bit)] = mask;
    code.Constants |= constant << bit;
  }
  for (int k = 0; k < EccBits; ++k) {
    if (!(seen >> k & 1)) return name + ": ecc bit " + std::to_string(k) + " is not given";
  }
  return {};
}

std::string LoadEccCode(const std::string& path, EccCode& code) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) return path + " is a directory";
  errno = 0;
  std::ifstream file(path);
  if (!file)
    return "cannot open " + path + (errno != 0 ? ": " + std::string(std::strerror(errno)) : "");
  return ReadEccCode(file, path, code);
}
