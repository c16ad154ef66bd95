// Capture records: durations in, little-endian records out, and back.
#include "files/capture_file.h"

#include <cerrno>
#include <cstring>

#include "common/capture_records.h"
#include "files/output_file.h"

bool WriteCaptureRecord(std::FILE* file, std::int32_t duration) {
  auto value = static_cast<std::uint32_t>(duration);
  unsigned char bytes[4] = {
      static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
      static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  return std::fwrite(bytes, 1, sizeof bytes, file) == sizeof bytes;
}

std::string WriteCaptureFile(const std::string& path, const RunDurations& durations) {
  AtomicFile file;
  if (std::string error = file.Open(path); !error.empty()) return error;
  for (std::int32_t duration : durations) {
    if (!WriteCaptureRecord(file.Stream(), duration)) break;
  }
  return file.Commit();
}

std::string ReadCaptureFile(const std::string& path, RunDurations& durations) {
  bool fromStandardInput = path == "-";
  std::FILE* file = fromStandardInput ? stdin : std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "cannot open " + path + ": " + std::strerror(errno);
  CaptureReadResult result =
      ReadCaptureBlocks(file, [&](const std::int32_t* runs, std::size_t count) {
        durations.insert(durations.end(), runs, runs + count);
        return true;
      });
  int readErrno = errno;
  if (!fromStandardInput) std::fclose(file);
  if (result == CaptureReadResult::ReadError) {
    return "cannot read " + path + ": " + std::strerror(readErrno);
  }
  return {};
}
