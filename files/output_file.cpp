// Output files: the writer's bytes in, a file that appears whole or not at all out.
#include "files/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Temporary files open now, for RemoveOpenTemporaryFiles; a tool has at most a few at once.
constexpr int MaxOpenTemporaries = 8;
constexpr std::size_t MaxPathLength = 4096;
char OpenTemporaries[MaxOpenTemporaries][MaxPathLength];
volatile bool TemporaryInUse[MaxOpenTemporaries];

void Remember(const std::string& path) {
  if (path.size() >= MaxPathLength) return;
  for (int i = 0; i < MaxOpenTemporaries; ++i) {
    if (!TemporaryInUse[i]) {
      std::memcpy(OpenTemporaries[i], path.c_str(), path.size() + 1);
      TemporaryInUse[i] = true;
      return;
    }
  }
}

void Forget(const std::string& path) {
  for (int i = 0; i < MaxOpenTemporaries; ++i) {
    if (TemporaryInUse[i] && path == OpenTemporaries[i]) TemporaryInUse[i] = false;
  }
}

std::string Describe(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

AtomicFile::~AtomicFile() {
  Abandon();
}

std::string AtomicFile::Open(const std::string& path) {
  Abandon();
  path_ = path;
  std::string pattern = path + ".XXXXXX";
  int descriptor = mkstemp(pattern.data());
  if (descriptor < 0) return Describe("cannot create a file beside", path);
  temporaryPath_ = pattern;
  Remember(temporaryPath_);
  // mkstemp makes the file private; the finished file gets the usual permissions.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(descriptor, 0666 & ~mask);
  stream_ = fdopen(descriptor, "wb");
  if (stream_ == nullptr) {
    close(descriptor);
    std::string error = Describe("cannot write", temporaryPath_);
    Abandon();
    return error;
  }
  return {};
}

std::string AtomicFile::Commit() {
  if (stream_ == nullptr) return "no file is open";
  bool written = std::fflush(stream_) == 0 && !std::ferror(stream_);
  bool closed = std::fclose(stream_) == 0;
  stream_ = nullptr;
  if (!written || !closed) {
    std::string error = Describe("cannot write", path_);
    Abandon();
    return error;
  }
  if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
    std::string error = Describe("cannot rename the output to", path_);
    Abandon();
    return error;
  }
  Forget(temporaryPath_);
  temporaryPath_.clear();
  return {};
}

void AtomicFile::Abandon() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (!temporaryPath_.empty()) {
    std::remove(temporaryPath_.c_str());
    Forget(temporaryPath_);
    temporaryPath_.clear();
  }
}

void RemoveOpenTemporaryFiles() {
  for (int i = 0; i < MaxOpenTemporaries; ++i) {
    if (TemporaryInUse[i]) unlink(OpenTemporaries[i]);
  }
}
