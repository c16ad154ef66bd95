// Capture records: durations in, little-endian records out, and back.
#include "files/capture_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "common/capture_records.h"
#include "files/output_file.h"

bool WriteCaptureRecord(std::FILE* file, std::int32_t duration) {
  unsigned char bytes[CaptureRecordBytes];
  StoreCaptureRecord(bytes, duration);
  return std::fwrite(bytes, 1, sizeof bytes, file) == sizeof bytes;
}

bool WriteCaptureRecords(std::FILE* file, const std::int32_t* durations, std::size_t count) {
  unsigned char bytes[4096 * CaptureRecordBytes];
  while (count > 0) {
    std::size_t part = std::min<std::size_t>(count, sizeof bytes / CaptureRecordBytes);
    for (std::size_t i = 0; i < part; ++i) {
      StoreCaptureRecord(bytes + CaptureRecordBytes * i, durations[i]);
    }
    const std::size_t size = part * CaptureRecordBytes;
    if (std::fwrite(bytes, 1, size, file) != size) return false;
    durations += part;
    count -= part;
  }
  return true;
}

namespace {

bool StartsWith(const unsigned char* bytes, std::size_t size, std::string_view magic,
                std::size_t at = 0) {
  return size >= at + magic.size() && std::memcmp(bytes + at, magic.data(), magic.size()) == 0;
}

}  // namespace

std::string RecognizeNonCapture(const unsigned char* bytes, std::size_t size) {
  constexpr const char* Import = "; run MorvantisCapture import first";
  bool audio = (StartsWith(bytes, size, "RIFF") && StartsWith(bytes, size, "WAVE", 8)) ||
               StartsWith(bytes, size, "RF64") || StartsWith(bytes, size, "BW64") ||
               StartsWith(bytes, size, "riff") || StartsWith(bytes, size, "fLaC") ||
               StartsWith(bytes, size, "OggS") || StartsWith(bytes, size, ".snd") ||
               StartsWith(bytes, size, "ID3") ||
               (StartsWith(bytes, size, "FORM") &&
                (StartsWith(bytes, size, "AIFF", 8) || StartsWith(bytes, size, "AIFC", 8))) ||
               (size >= 2 && bytes[0] == 0xFF && (bytes[1] & 0xE0) == 0xE0);
  if (audio) return std::string(AudioRecordingRefusal) + Import;
  // Text: every byte printable or white space. A capture's first runs are short, so their
  // records hold zero bytes.
  std::size_t text = 0;
  while (text < size && (std::isprint(bytes[text]) || std::isspace(bytes[text]))) ++text;
  if (size >= CaptureRecordBytes && text == size) {
    std::size_t first = 0;
    while (first < size && std::isspace(bytes[first])) ++first;
    if (first < size && bytes[first] == '$')
      return std::string("looks like a logic-analyzer trace (VCD)") + Import;
    return "looks like text, not a capture (channel values go to MorvantisCapture synth, a "
           "time,level CSV to MorvantisCapture import)";
  }
  return {};
}

std::string WriteCaptureFile(const std::string& path, const RunDurations& durations) {
  OutputFile file;
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
