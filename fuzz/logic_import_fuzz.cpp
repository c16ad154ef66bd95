// Fuzz target: the VCD and level-CSV importers. The first byte picks the reader; any text gives
// runs or an error, never a crash, and a run count that matches what was written.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "import/logic_import.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  std::FILE* output = std::tmpfile();
  if (output == nullptr) return 0;
  ImportSummary summary;
  ImportRequest request;
  request.Output = output;
  if (data[0] & 2) request.Logic.Signal = "pcm";
  std::string error = (data[0] & 1) ? ImportVcd(in, "fuzz", request, summary)
                                    : ImportLevelCsv(in, "fuzz", request, summary);
  std::fflush(output);
  long bytes = std::ftell(output);
  std::fclose(output);
  if (error.empty() &&
      (summary.Runs == 0 || static_cast<std::uint64_t>(bytes) != summary.Runs * 4)) {
    std::abort();
  }
  return 0;
}
