// Fuzz target: the receiver. The first bytes pick the sample rate and the settings, the rest are
// float samples of any value (NaN and infinities too, cleaned as an import cleans them), fed in
// blocks of varying size; the level changes come out in order, and never from before the start.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "import/cell_receiver.h"
#include "import/sample_guard.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  constexpr double Rates[] = {8000, 11025, 22050, 44100, 48000, 96000, 1000, 768000};
  ReceiverSettings settings;
  settings.SampleRate = Rates[data[0] % 8];
  if (data[1] & 1) settings.FixedCellLength = 0.5 + data[1] / 170.0;
  if (data[1] & 2) settings.FixedThreshold = (data[2] - 128) / 64.0;
  settings.MinRunCells = (data[3] % 4) * 0.75;
  CellReceiver receiver(settings);
  SampleGuard guard;
  std::vector<float> samples((size - 4) / sizeof(float));
  if (!samples.empty()) std::memcpy(samples.data(), data + 4, samples.size() * sizeof(float));
  guard.Clean(samples.data(), samples.size());
  std::vector<double> edges;
  for (std::size_t at = 0, block = 1; at < samples.size();
       at += block, block = block * 3 % 97 + 1) {
    receiver.Feed(samples.data() + at, std::min(block, samples.size() - at), edges);
  }
  receiver.Finish(edges);
  for (std::size_t i = 0; i < edges.size(); ++i) {
    if (!std::isfinite(edges[i]) || edges[i] < -1e-6 || (i > 0 && edges[i] < edges[i - 1])) {
      std::abort();
    }
  }
  return 0;
}
