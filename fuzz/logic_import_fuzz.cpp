// Fuzz target: the VCD and level-CSV importers. The first byte picks the reader; any text gives
// runs or an error, never a crash, and a run count that matches what was written.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "common/run_sink.h"
#include "import/logic_import.h"

namespace {

// Counts the runs handed on.
struct RunCounter : RunSink {
  std::uint64_t Runs = 0;
  bool TakeRuns(const std::int32_t*, std::size_t count) override {
    Runs += count;
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  RunCounter counter;
  ImportSummary summary;
  ImportRequest request;
  request.Sink = &counter;
  if (data[0] & 2) request.Logic.Signal = "pcm";
  std::string error = (data[0] & 1) ? ImportVcd(in, "fuzz", request, summary)
                                    : ImportLevelCsv(in, "fuzz", request, summary);
  if (error.empty() && (summary.Runs == 0 || counter.Runs != summary.Runs)) std::abort();
  return 0;
}
