// Fuzz target: the capture reader shared by Morvantis and the companion. Whatever the bytes,
// every whole record comes out once, in order, and trailing bytes are ignored.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "common/capture_records.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (file == nullptr) return 0;
  std::size_t seen = 0;
  CaptureReadResult result =
      ReadCaptureBlocks(file, [&](const std::int32_t* runs, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i, ++seen) {
          if (runs[i] != CaptureRecordAt(data + seen * CaptureRecordBytes)) std::abort();
        }
        return true;
      });
  std::fclose(file);
  if (result != CaptureReadResult::Complete || seen != size / CaptureRecordBytes) std::abort();
  return 0;
}
