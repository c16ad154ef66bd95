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
