// Output files: the name the user gave in, a stream whose bytes reach that name safely out.
#include "files/output_file.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "files/standard_streams.h"

namespace {

// Temporary files open now, for RemoveOpenTemporaryFiles; a tool has at most a few at once.
constexpr int MaxOpenTemporaries = 8;
constexpr std::size_t MaxPathLength = 4096;
char OpenTemporaries[MaxOpenTemporaries][MaxPathLength];
volatile bool TemporaryInUse[MaxOpenTemporaries];

// A temporary name is a dot, at most this much of the target's name, a dot and six random
// characters: well within the 255 bytes a file name may have.
constexpr std::size_t TemporaryBaseLength = 200;

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

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Makes a temporary file in `folder` named after `base`; returns its descriptor or -1.
int MakeTemporary(const std::string& folder, const std::string& base, std::string& path) {
  path = folder + "/." + base.substr(0, TemporaryBaseLength) + ".XXXXXX";
  int descriptor = mkstemp(path.data());
  if (descriptor < 0) return -1;
  int kept = AboveStandardDescriptors(descriptor);
  if (kept < 0) unlink(path.c_str());
  return kept;
}

std::string CopyInto(std::FILE* from, const std::string& target) {
  if (std::fseek(from, 0, SEEK_SET) != 0)
    return Describe("cannot read back the output for", target);
  int descriptor =
      AboveStandardDescriptors(open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY));
  if (descriptor < 0) return Describe("cannot write", target);
  char block[1 << 16];
  bool written = true;
  for (std::size_t got; written && (got = std::fread(block, 1, sizeof block, from)) > 0;) {
    for (std::size_t done = 0; written && done < got;) {
      ssize_t now = write(descriptor, block + done, got - done);
      if (now < 0 && errno == EINTR) continue;
      written = now > 0;
      if (written) done += static_cast<std::size_t>(now);
    }
  }
  std::string error = !written || std::ferror(from) ? Describe("cannot write", target) : "";
  if (close(descriptor) != 0 && error.empty()) error = Describe("cannot write", target);
  return error;
}

}  // namespace

OutputFile::~OutputFile() {
  Abandon();
}

std::string OutputFile::Open(const std::string& path) {
  Abandon();
  name_ = path == "-" ? "standard output" : path;
  target_ = path;
  struct stat standardOutput {};
  bool haveStandardOutput = fstat(STDOUT_FILENO, &standardOutput) == 0;
  struct stat found {};
  if (path == "-" && StandardOutputClosed()) return "standard output is closed";
  if (path == "-" ||
      (haveStandardOutput && stat(path.c_str(), &found) == 0 && SameFile(found, standardOutput))) {
    stream_ = stdout;
    mode_ = Mode::Direct;
    return {};
  }
  if (path.empty()) return "no output file named";

  struct stat link {};
  if (lstat(path.c_str(), &link) != 0) {
    if (errno != ENOENT) return Describe("cannot write", path);
    found = {};
    mode_ = Mode::Rename;
  } else if (stat(path.c_str(), &found) != 0) {
    return path + " is a symbolic link to " +
           (errno == ENOENT ? "nothing" : std::string(std::strerror(errno)));
  } else if (S_ISDIR(found.st_mode)) {
    return path + " is a directory";
  } else if (S_ISSOCK(found.st_mode)) {
    return path + " is a socket; cannot write to it";
  } else if (!S_ISREG(found.st_mode)) {
    // A device, a FIFO or a terminal: written as it is, never created, truncated or replaced.
    int descriptor = AboveStandardDescriptors(open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (descriptor < 0) return Describe("cannot write", path);
    stream_ = fdopen(descriptor, "wb");
    if (stream_ == nullptr) {
      close(descriptor);
      return Describe("cannot write", path);
    }
    mode_ = Mode::Direct;
    return {};
  } else {
    mode_ = S_ISLNK(link.st_mode) || found.st_nlink > 1 ? Mode::CopyIn : Mode::Rename;
  }

  // Beside the file itself, so a rename stays on its file system.
  std::string folder = FolderOf(path);
  if (mode_ == Mode::CopyIn) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) folder = FolderOf(resolved);
  }
  int descriptor = MakeTemporary(folder, BaseOf(path), temporary_);
  if (descriptor < 0) {
    mode_ = Mode::Closed;
    temporary_.clear();
    return Describe("cannot create a file beside", path);
  }
  Remember(temporary_);
  if (found.st_mode != 0) {
    // The new file takes the old one's place: same permissions, same owner where allowed.
    fchmod(descriptor, found.st_mode & 07777);
    if (geteuid() == 0 && fchown(descriptor, found.st_uid, found.st_gid) != 0) {
      // keeps root's ownership; the permissions still hold
    }
  } else {
    mode_t mask = umask(0);
    umask(mask);
    fchmod(descriptor, 0666 & ~mask);
  }
  stream_ = fdopen(descriptor, mode_ == Mode::CopyIn ? "w+b" : "wb");
  if (stream_ == nullptr) {
    close(descriptor);
    std::string error = Describe("cannot write", temporary_);
    Abandon();
    return error;
  }
  return {};
}

std::string OutputFile::Commit() {
  if (stream_ == nullptr) return "no file is open";
  bool written = std::fflush(stream_) == 0 && !std::ferror(stream_);
  if (mode_ == Mode::Direct) {
    bool closed = stream_ == stdout || std::fclose(stream_) == 0;
    stream_ = nullptr;
    mode_ = Mode::Closed;
    if (!written || !closed) return Describe("cannot write to", name_);
    return {};
  }
  std::string error;
  if (!written) {
    error = Describe("cannot write", target_);
  } else if (mode_ == Mode::CopyIn) {
    error = CopyInto(stream_, target_);
  }
  bool closed = std::fclose(stream_) == 0;
  stream_ = nullptr;
  if (error.empty() && !closed) error = Describe("cannot write", target_);
  if (error.empty() && mode_ == Mode::Rename &&
      std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    error = Describe("cannot rename the output to", target_);
  }
  if (!error.empty() || mode_ == Mode::CopyIn) {
    std::remove(temporary_.c_str());
  }
  Forget(temporary_);
  temporary_.clear();
  mode_ = Mode::Closed;
  return error;
}

std::string OutputFile::CommitWholeRecords(std::size_t recordBytes) {
  if (stream_ == nullptr) return "no file is open";
  if (mode_ == Mode::Direct) {
    Abandon();  // a direct output has whatever reached it
    return {};
  }
  __fpurge(stream_);  // the buffered bytes the failed write could not place
  std::clearerr(stream_);
  struct stat written {};
  const int descriptor = fileno(stream_);
  if (fstat(descriptor, &written) != 0 ||
      ftruncate(descriptor, written.st_size - written.st_size % static_cast<off_t>(recordBytes)) !=
          0) {
    std::string error = Describe("cannot keep what was written to", name_);
    Abandon();
    return error;
  }
  return Commit();
}

void OutputFile::Abandon() {
  if (stream_ != nullptr) {
    if (stream_ == stdout) {
      std::fflush(stdout);
    } else {
      std::fclose(stream_);
    }
    stream_ = nullptr;
  }
  if (!temporary_.empty()) {
    std::remove(temporary_.c_str());
    Forget(temporary_);
    temporary_.clear();
  }
  mode_ = Mode::Closed;
}

void RemoveOpenTemporaryFiles() {
  for (int i = 0; i < MaxOpenTemporaries; ++i) {
    if (TemporaryInUse[i]) unlink(OpenTemporaries[i]);
  }
}
