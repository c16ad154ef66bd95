// Capture records: durations in, little-endian records out, and back.
#include "files/capture_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "common/capture_records.h"
#include "files/output_file.h"
#include "files/standard_streams.h"

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

// The length in bytes of the MPEG audio frame whose header starts at `at`, or 0 when those four
// bytes are not a complete, valid header (sync, version, layer, bit rate and sample rate all
// defined; a free bit rate gives no length and counts as not valid).
//
//   AAAAAAAA AAABBCCD EEEEFFGH IIJJKLMM   A sync, B version, C layer, E bit rate, F sample rate,
//                                         G padding, M emphasis
std::size_t MpegFrameLength(const unsigned char* bytes, std::size_t size, std::size_t at) {
  if (size < at + 4) return 0;
  const unsigned char* h = bytes + at;
  unsigned version = (h[1] >> 3) & 3;  // 0 MPEG 2.5, 1 reserved, 2 MPEG 2, 3 MPEG 1
  unsigned layer = (h[1] >> 1) & 3;    // 0 reserved, 1 layer III, 2 layer II, 3 layer I
  unsigned bitRate = h[2] >> 4, sampleRate = (h[2] >> 2) & 3, padding = (h[2] >> 1) & 1;
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0 || version == 1 || layer == 0 || bitRate == 0 ||
      bitRate == 15 || sampleRate == 3 || (h[3] & 3) == 2)
    return 0;
  // Kilobits per second by bit-rate index (1 to 14).
  static constexpr unsigned short Mpeg1Kbps[3][14] = {
      {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},       // layer III
      {32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},      // layer II
      {32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}};  // layer I
  static constexpr unsigned short Mpeg2Kbps[3][14] = {
      {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
      {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
      {32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256}};
  static constexpr unsigned MpegRates[3] = {44100, 48000, 32000};  // halved for 2, quartered 2.5
  unsigned long bitsPerSecond =
      1000UL * (version == 3 ? Mpeg1Kbps : Mpeg2Kbps)[layer - 1][bitRate - 1];
  unsigned long rate = MpegRates[sampleRate] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
  if (layer == 3) return (12 * bitsPerSecond / rate + padding) * 4;
  unsigned long samplesOverEight = layer == 1 && version != 3 ? 72 : 144;  // 576 or 1152
  return samplesOverEight * bitsPerSecond / rate + padding;
}

// MPEG audio: a valid frame header, and where it says the next frame starts, another. When the
// next header lies beyond the bytes given, the bytes are taken for a capture: a capture's first
// run can hold any four bytes (a long idle time, or -1), but hardly two headers at the right
// distance.
bool LooksLikeMpegAudio(const unsigned char* bytes, std::size_t size) {
  std::size_t length = MpegFrameLength(bytes, size, 0);
  return length > 0 && MpegFrameLength(bytes, size, length) > 0 &&
         (bytes[length + 1] & 0x1E) == (bytes[1] & 0x1E) &&
         (bytes[length + 2] & 0x0C) == (bytes[2] & 0x0C);
}

// An ID3v2 tag, which MP3 files open with: "ID3", a major version 2 to 4 and a revision, flags
// whose low four bits are clear, and a size of four 7-bit ("syncsafe") bytes.
bool LooksLikeId3Tag(const unsigned char* bytes, std::size_t size) {
  return StartsWith(bytes, size, "ID3") && size >= 10 && bytes[3] >= 2 && bytes[3] <= 4 &&
         bytes[4] != 0xFF && (bytes[5] & 0x0F) == 0 &&
         ((bytes[6] | bytes[7] | bytes[8] | bytes[9]) & 0x80) == 0;
}

}  // namespace

std::string RecognizeNonCapture(const unsigned char* bytes, std::size_t size) {
  constexpr const char* Import = "; run MorvantisCapture import first";
  bool audio = (StartsWith(bytes, size, "RIFF") && StartsWith(bytes, size, "WAVE", 8)) ||
               StartsWith(bytes, size, "RF64") || StartsWith(bytes, size, "BW64") ||
               StartsWith(bytes, size, "riff") || StartsWith(bytes, size, "fLaC") ||
               StartsWith(bytes, size, "OggS") || StartsWith(bytes, size, ".snd") ||
               LooksLikeId3Tag(bytes, size) ||
               (StartsWith(bytes, size, "FORM") &&
                (StartsWith(bytes, size, "AIFF", 8) || StartsWith(bytes, size, "AIFC", 8))) ||
               LooksLikeMpegAudio(bytes, size);
  if (audio) {
    std::string refusal(AudioRecordingRefusal);
    return refusal.append(Import);
  }
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
  if (fromStandardInput && StandardInputClosed()) return "standard input is closed";
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
