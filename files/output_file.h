// Where a command's output goes, and how it gets there without harming what was there before.
// In: the name the user gave. Out: a stream to write, and a Commit() that puts the bytes in place.
//
//   -, /dev/stdout          standard output, written directly as it goes
//   a new name              a temporary file in the same folder, renamed into place at Commit()
//   a regular file          the same, keeping the old file's permissions (and owner, for root)
//   a regular file with several hard links, or reached through a symbolic link
//                           a temporary file, copied into the file itself at Commit(), so every
//                           link still names it
//   device, FIFO, terminal  opened and written directly; never replaced
//   directory, socket       refused
//
// Until Commit() a regular file keeps its old contents: a command that fails or is interrupted
// (Abandon(), the destructor, or RemoveOpenTemporaryFiles() from a signal handler) leaves it as
// it was and no temporary file behind; CommitWholeRecords() keeps what a failed write left.
// Temporary names stay within the file-name limit. A file opened here never takes descriptors 0-2,
// and `-` is refused when standard output was closed.
#pragma once

#include <cstdio>
#include <string>

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Opens `path` for writing as above. Returns an error text, empty on success.
  std::string Open(const std::string& path);

  std::FILE* Stream() const { return stream_; }

  // Written directly, as it goes (standard output, a device, a FIFO): the writer should hand
  // its output on promptly, since someone may be reading it live.
  bool Direct() const { return mode_ == Mode::Direct; }

  // The name to use in messages ("standard output" for -).
  const std::string& Name() const { return name_; }

  // Flushes and puts the bytes in place. Returns an error text.
  std::string Commit();

  // Drops what was written to a temporary file; a direct output keeps what it has received.
  void Abandon();

  // After a failed write (a full disk) to an output that cannot be made again, such as a live
  // recording's: drops what never reached the file, cuts it to a whole number of records of
  // `recordBytes` bytes and puts that in place, as Commit() does. Returns an error text.
  std::string CommitWholeRecords(std::size_t recordBytes);

 private:
  enum class Mode { Closed, Direct, Rename, CopyIn };

  std::FILE* stream_ = nullptr;
  Mode mode_ = Mode::Closed;
  std::string name_;
  std::string target_;  // the file the bytes end up in
  std::string temporary_;
};

// Removes every temporary file still open, for a signal handler: only async-signal-safe calls.
void RemoveOpenTemporaryFiles();
