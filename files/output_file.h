// Output files appear whole or not at all: the text is written to a temporary file beside the
// target and renamed into place only after every byte has been written and flushed. A writer
// that is destroyed without Commit() (an error, an early return) removes its temporary file.
#pragma once

#include <cstdio>
#include <string>

class AtomicFile {
 public:
  AtomicFile() = default;
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;
  ~AtomicFile();

  // Opens a temporary file next to `path`. Returns an error text, empty on success.
  std::string Open(const std::string& path);

  std::FILE* Stream() const { return stream_; }

  // Flushes, closes and renames the temporary file to the target. Returns an error text.
  std::string Commit();

  // Closes and removes the temporary file, if any.
  void Abandon();

 private:
  std::FILE* stream_ = nullptr;
  std::string path_;
  std::string temporaryPath_;
};

// Removes every temporary file still open, for a signal handler: only async-signal-safe calls.
void RemoveOpenTemporaryFiles();
