// Bits in, runs of cells out.
#include "encode/run_lengths.h"

void AppendRunsAfterSync(CellRuns& runs, const BitStream& bits) {
  if (bits.empty()) return;
  if (bits.front() == 1) runs.push_back(0);
  std::int32_t length = 0;
  std::uint8_t level = bits.front();
  for (std::uint8_t bit : bits) {
    if (bit != level) {
      runs.push_back(length);
      length = 0;
      level = bit;
    }
    ++length;
  }
  runs.push_back(length);
}
