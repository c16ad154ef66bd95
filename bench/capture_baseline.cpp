// Bare baseline for the decoder's timing: reads a capture exactly as Morvantis does and converts
// every duration to cells, with no decoding and no output. Decoder times are reported as ratios
// to this program's, which drift far less than absolute times on a shared machine.
#include <cstdint>
#include <cstdio>

#include "common/capture_records.h"
#include "decoder/run_decoder.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: capture_baseline FILE\n", stderr);
    return 1;
  }
  std::FILE* file = std::fopen(argv[1], "rb");
  if (file == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::uint32_t cellTotal = 0;
  CaptureReadResult result =
      ReadCaptureBlocks(file, [&cellTotal](const std::int32_t* runs, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
          cellTotal += static_cast<std::uint32_t>(CellsFromDuration(runs[i]));
        }
        return true;
      });
  // The total is printed so the conversion cannot be optimised away.
  std::fprintf(stderr, "%u\n", cellTotal);
  return result == CaptureReadResult::Complete ? 0 : 1;
}
