// Fuzz target: the channel CSV reader of MorvantisCapture synth. Any text gives rows of valid
// positions or an error that says where, never both and never a crash.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "encode/channel_csv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<ChannelRow> rows;
  std::string error = ParseChannelCsv(in, "fuzz.csv", rows);
  if (error.empty()) {
    for (const ChannelRow& row : rows) {
      for (std::int32_t value : row) {
        if (value < 0 || value > MaxPosition) std::abort();
      }
    }
  } else if (error.rfind("fuzz.csv", 0) != 0) {
    std::abort();
  }
  return 0;
}
