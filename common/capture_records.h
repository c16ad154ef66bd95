// Capture file reader: a capture is a plain list of little-endian signed 32-bit run durations,
// with no header and no count. In: a regular file or a stream (pipe, FIFO, terminal, character
// device). Out: its records, block by block in file order; one to three bytes left at the end,
// too few for a record, are ignored. Memory use is one block whatever the size of the input.
//
// A regular file is read in full blocks. A stream is read as its bytes arrive: every read hands
// on the whole records it completes (a partial record waits for its remaining bytes), and
// whenever the next read would block the reader first tells its caller it is idle, so whatever
// was decoded can be handed on while the input is still open, and tells it again every
// IdleWaitMs while it waits, so a caller can notice time passing, keys or a stop request.
#pragma once

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

inline constexpr std::size_t CaptureRecordBytes = 4;
inline constexpr std::size_t CaptureBlockRecords = 16384;
// How long a reader waits on a stream before it tells its caller again that it is idle.
inline constexpr int IdleWaitMs = 50;

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

// Stores `duration` at `bytes` as a record: little-endian, two's complement.
inline void StoreCaptureRecord(unsigned char* bytes, std::int32_t duration) {
  const auto value = static_cast<std::uint32_t>(duration);
  for (std::size_t b = 0; b < CaptureRecordBytes; ++b) {
    bytes[b] = static_cast<unsigned char>(value >> (8 * b));
  }
}

// Whether `file` is a stream rather than a regular file (which never makes a reader wait).
inline bool IsStream(std::FILE* file) {
  struct stat info {};
  return fstat(fileno(file), &info) == 0 && !S_ISREG(info.st_mode);
}

namespace capture_records {

inline unsigned char Bytes[CaptureBlockRecords * CaptureRecordBytes];
inline std::int32_t Runs[CaptureBlockRecords];

// Turns the whole records among the first `have` bytes into runs, hands them on and keeps the
// bytes of an incomplete record at the front. Returns false when the handler stops the reading.
template <typename BlockHandler>
bool HandOnRecords(std::size_t have, std::size_t& carried, BlockHandler& handleBlock) {
  std::size_t count = have / CaptureRecordBytes;
  for (std::size_t i = 0; i < count; ++i) Runs[i] = CaptureRecordAt(Bytes + i * CaptureRecordBytes);
  carried = have - count * CaptureRecordBytes;
  std::memmove(Bytes, Bytes + count * CaptureRecordBytes, carried);
  return count == 0 || handleBlock(static_cast<const std::int32_t*>(Runs), count);
}

}  // namespace capture_records

// Reads a stream to its end as its bytes arrive; calls `whenIdle()` before every read that
// would wait, which returns false to stop (as does the block handler). A read interrupted by a
// signal counts as idle too, so a caller watching for a stop request sees it at once.
template <typename BlockHandler, typename IdleHandler>
CaptureReadResult ReadCaptureStream(std::FILE* file, BlockHandler& handleBlock,
                                    IdleHandler& whenIdle) {
  using namespace capture_records;
  const int descriptor = fileno(file);
  std::size_t carried = 0;
  for (;;) {
    pollfd ready{descriptor, POLLIN, 0};
    if (poll(&ready, 1, 0) == 0) {
      // Nothing to read: whatever is decoded goes on, then the wait, in slices. A poll that
      // fails for another reason than a signal leaves the read below to report it.
      int status = 0;
      do {
        if (!whenIdle()) return CaptureReadResult::Stopped;
        status = poll(&ready, 1, IdleWaitMs);
      } while (status == 0 || (status < 0 && errno == EINTR));
    }
    ssize_t got = read(descriptor, Bytes + carried, sizeof Bytes - carried);
    if (got < 0) {
      if (errno != EINTR && errno != EAGAIN) return CaptureReadResult::ReadError;
      if (!whenIdle()) return CaptureReadResult::Stopped;
      continue;
    }
    if (got == 0) return CaptureReadResult::Complete;
    if (!HandOnRecords(carried + static_cast<std::size_t>(got), carried, handleBlock))
      return CaptureReadResult::Stopped;
  }
}

// Reads `file` to its end and calls `handleBlock(const std::int32_t* runs, std::size_t count)`
// for each block of records; the handler returns false to stop reading early. A stream is read
// as it arrives (ReadCaptureStream), with `whenIdle` called whenever it would wait.
template <typename BlockHandler, typename IdleHandler>
CaptureReadResult ReadCaptureBlocks(std::FILE* file, BlockHandler&& handleBlock,
                                    IdleHandler&& whenIdle) {
  if (IsStream(file)) return ReadCaptureStream(file, handleBlock, whenIdle);
  using namespace capture_records;
  unsigned char* const bytes = Bytes;
  std::int32_t* const runs = Runs;
  constexpr std::size_t BlockBytes = sizeof Bytes;
  std::size_t carried = 0;  // bytes of an incomplete record kept from the previous read
  for (;;) {
    std::size_t wanted = BlockBytes - carried;
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

template <typename BlockHandler>
CaptureReadResult ReadCaptureBlocks(std::FILE* file, BlockHandler&& handleBlock) {
  return ReadCaptureBlocks(file, handleBlock, [] { return true; });
}
