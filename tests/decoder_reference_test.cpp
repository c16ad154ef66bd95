// The decoder against references kept outside its code: the code-word table as the signal
// defines it, transcribed here word by word, and the bundled sample's whole output at levels 2,
// 3 and 4, kept in tests/reference/ after review by hand (demo-level4.txt, first frame: the code
// words 0011001100 1100111000 0011111100 1111111000 are symbols 40, 31, 16 and 0; 40 is aux 2
// and delta 8, 31 * 16 + 16 / 4 is position 500 and ecc is 0, as its group line says; the sync
// ends at 18 cells, 2.70 ms, and the frame 166 bits later, at 184 cells, 27.60 ms).
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "decoder/pcm_byte_table.h"
#include "encode/frame_bits.h"
#include "tests/test_support.h"

namespace {

// The code word of each symbol, first-received bit on the left, symbols 0 to 63.
const std::array<const char*, 64> CodeWordOfSymbol = {
    // 0 to 15
    "1111111000", "1111110011", "1111100011", "1111100111", "1111000111", "1111001111",
    "1110001111", "1110011111", "0011111111", "0001111111", "0000111111", "1100111111",
    "1100011111", "1100001111", "1110000111", "1111000011",
    // 16 to 31
    "0011111100", "0011110011", "0011100111", "0011001111", "1111001100", "1110011100",
    "1100111100", "1100110011", "1111110000", "1111100000", "1110000011", "1100000111",
    "1100011100", "1110011000", "1110001100", "1100111000",
    // 32 to 47
    "0011000111", "0001110011", "0001100111", "0011100011", "0011111000", "0001111100",
    "0000011111", "0000001111", "0011001100", "0011000011", "0001100011", "0000110011",
    "1100110000", "1100011000", "1100001100", "1100000011",
    // 48 to 63
    "0000111100", "0001111000", "0011110000", "0011100000", "0011000000", "1111000000",
    "1110000000", "1100000000", "0001100000", "0001110000", "0000110000", "0000111000",
    "0000011000", "0000011100", "0000001100", "0000000111"};

TEST(DecoderReference, EveryCodeWordDecodesAndEncodesAsTheTableSays) {
  std::array<int, 1024> expected;
  expected.fill(-1);
  for (int symbol = 0; symbol < 64; ++symbol) {
    std::uint32_t code = std::stoul(CodeWordOfSymbol[static_cast<std::size_t>(symbol)], nullptr, 2);
    ASSERT_EQ(expected[code], -1) << "transcribed twice: " << code;
    expected[code] = symbol;
    // The encoder sends the same word, first bit first.
    BitStream bits;
    AppendSymbol(bits, static_cast<std::uint32_t>(symbol));
    std::string sent;
    for (std::uint8_t bit : bits) sent += static_cast<char>('0' + bit);
    EXPECT_EQ(sent, CodeWordOfSymbol[static_cast<std::size_t>(symbol)]) << "symbol " << symbol;
  }
  for (std::uint32_t code = 0; code < 1024; ++code)
    EXPECT_EQ(PcmByteTable[code], expected[code]) << "code word " << Bits(code, 10);
}

TEST(DecoderReference, TheSampleDecodesAsReviewed) {
  for (int level : {2, 3, 4}) {
    ProgramResult decoded =
        RunCommand(std::string(MORVANTIS_BINARY) + " " MORVANTIS_SOURCE_DIR "/samples/demo.cap " +
                   std::to_string(level));
    ASSERT_EQ(decoded.exitCode, 0) << level;
    std::string reference =
        ReadFile(std::string(MORVANTIS_SOURCE_DIR) + "/tests/reference/demo-level" +
                 std::to_string(level) + ".txt");
    ASSERT_FALSE(reference.empty()) << level;
    // Compared as a whole; the first line that differs is shown.
    if (decoded.out != reference) {
      std::size_t at = 0;
      while (at < decoded.out.size() && at < reference.size() && decoded.out[at] == reference[at])
        ++at;
      std::size_t line = reference.rfind('\n', at);
      line = line == std::string::npos ? 0 : line + 1;
      ADD_FAILURE() << "level " << level << " differs at byte " << at << ":\n  expected "
                    << reference.substr(line, reference.find('\n', at) - line) << "\n  got      "
                    << decoded.out.substr(line, decoded.out.find('\n', at) - line);
    }
  }
}

}  // namespace
