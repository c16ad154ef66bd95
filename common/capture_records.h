// Capture file reader: a capture is a plain list of little-endian signed 32-bit run durations,
// with no header and no count. Records are read in large blocks and handed on block by block in
// file order; one to three bytes left at the end, too few for a record, are ignored. Memory use
// is one block whatever the size of the file, and pipes work like files.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

inline constexpr std::size_t CaptureRecordBytes = 4;
inline constexpr std::size_t CaptureBlockRecords = 16384;

enum class CaptureReadResult { Complete, ReadError, Stopped };

// The record stored at `bytes`.
inline std::int32_t CaptureRecordAt(const unsigned char* bytes) {
  std::uint32_t value;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&value, bytes, sizeof value);
  } else {
    value = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
            std::uint32_t{bytes[3]} << 24;
  }
  return static_cast<std::int32_t>(value);
}

// Reads `file` to its end and calls `handleBlock(const std::int32_t* runs, std::size_t count)`
// for each block of records; the handler returns false to stop reading early.
template <typename BlockHandler>
CaptureReadResult ReadCaptureBlocks(std::FILE* file, BlockHandler&& handleBlock) {
  static unsigned char bytes[CaptureBlockRecords * CaptureRecordBytes];
  static std::int32_t runs[CaptureBlockRecords];
  std::size_t carried = 0;  // bytes of an incomplete record kept from the previous read
  for (;;) {
    std::size_t wanted = sizeof bytes - carried;
    std::size_t got = std::fread(bytes + carried, 1, wanted, file);
    std::size_t have = carried + got;
    std::size_t count = have / CaptureRecordBytes;
    for (std::size_t i = 0; i < count; ++i)
      runs[i] = CaptureRecordAt(bytes + i * CaptureRecordBytes);
    carried = have - count * CaptureRecordBytes;
    std::memmove(bytes, bytes + count * CaptureRecordBytes, carried);
    if (count > 0 && !handleBlock(static_cast<const std::int32_t*>(runs), count)) {
      return CaptureReadResult::Stopped;
    }
    if (got < wanted) {
      if (std::ferror(file)) return CaptureReadResult::ReadError;
      if (std::feof(file)) return CaptureReadResult::Complete;
    }
  }
}
