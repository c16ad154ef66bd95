// Buffered text for the records the study tools write (export lines, reports). In: records,
// each built in place in the buffer. Out: the same bytes on a stream, in large blocks. A record
// is written through a plain pointer, numbers formatted in place, so it costs a few stores
// rather than a printf per field. Nothing reaches the stream before Flush() or a full buffer; a
// failed write is remembered.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

class RecordWriter {
 public:
  static constexpr std::size_t LongestRecord = 4096;

  explicit RecordWriter(std::FILE* stream)
      : stream_(stream), buffer_(std::make_unique<char[]>(BlockSize + LongestRecord)) {}
  RecordWriter(const RecordWriter&) = delete;
  RecordWriter& operator=(const RecordWriter&) = delete;

  // Where the next record of at most LongestRecord bytes goes.
  char* Begin() { return buffer_.get() + used_; }

  // The record ends at `end`; the buffer goes out once it holds a block.
  void End(const char* end) {
    used_ = static_cast<std::size_t>(end - buffer_.get());
    if (used_ >= BlockSize) Flush();
  }

  // Writes everything buffered; returns false once any write has failed.
  bool Flush() {
    if (used_ > 0 && !failed_) {
      failed_ = std::fwrite(buffer_.get(), 1, used_, stream_) != used_;
    }
    used_ = 0;
    return !failed_;
  }

  bool Failed() const { return failed_; }

 private:
  static constexpr std::size_t BlockSize = std::size_t{1} << 16;

  std::FILE* stream_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  bool failed_ = false;
};

inline char* AppendText(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

inline char* AppendUnsigned(char* out, std::uint64_t value) {
  return std::to_chars(out, out + 20, value).ptr;
}

// A time of `cells` bit cells in milliseconds, as printf's "%.2f" prints cells times the cell
// length: a cell is a whole number of hundredths, so integers give it exactly.
inline char* AppendCellTime(char* out, std::uint32_t cells, std::uint32_t hundredthsPerCell) {
  std::uint64_t hundredths = std::uint64_t{cells} * hundredthsPerCell;
  out = AppendUnsigned(out, hundredths / 100);
  out[0] = '.';
  out[1] = static_cast<char>('0' + hundredths / 10 % 10);
  out[2] = static_cast<char>('0' + hundredths % 10);
  return out + 3;
}
