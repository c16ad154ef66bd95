// Input and output names in, a refusal when two of them are one file out.
#include "files/file_identity.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <optional>

#include "files/standard_streams.h"

namespace {

struct Identity {
  dev_t Device;
  ino_t Inode;
  bool Shareable;  // a character device: a terminal or /dev/null may be read and written
};

std::optional<Identity> IdentityOf(const std::string& name, int standardStream) {
  struct stat info {};
  bool found = name == "-" ? fstat(standardStream, &info) == 0 : stat(name.c_str(), &info) == 0;
  if (!found) return std::nullopt;
  return Identity{info.st_dev, info.st_ino, S_ISCHR(info.st_mode)};
}

bool Same(const Identity& a, const Identity& b) {
  return a.Device == b.Device && a.Inode == b.Inode && !a.Shareable;
}

// Where a file not yet made would be: its folder's real path and its own name.
std::string NewFileName(const std::string& name) {
  std::size_t slash = name.rfind('/');
  std::string folder = slash == std::string::npos ? "." : name.substr(0, slash + 1);
  char resolved[PATH_MAX];
  if (realpath(folder.c_str(), resolved) == nullptr) return name;
  return std::string(resolved) + "/" + name.substr(slash == std::string::npos ? 0 : slash + 1);
}

std::string Shown(const std::string& name, const char* standardName) {
  return name == "-" ? standardName : name;
}

}  // namespace

std::string RefuseCollisions(const std::vector<std::string>& inputs,
                             const std::vector<std::string>& outputs) {
  for (const std::string& in : inputs) {
    if (in == "-" && StandardInputClosed()) return "standard input is closed";
  }
  for (const std::string& out : outputs) {
    if (out == "-" && StandardOutputClosed()) return "standard output is closed";
  }
  for (std::size_t o = 0; o < outputs.size(); ++o) {
    std::optional<Identity> output = IdentityOf(outputs[o], STDOUT_FILENO);
    if (!output) continue;
    for (const std::string& in : inputs) {
      std::optional<Identity> input = IdentityOf(in, STDIN_FILENO);
      if (input && Same(*input, *output)) {
        return "the output " + Shown(outputs[o], "(standard output)") + " is the input " +
               Shown(in, "(standard input)") + "; writing it would destroy the input";
      }
    }
  }
  for (std::size_t o = 0; o < outputs.size(); ++o) {
    std::optional<Identity> output = IdentityOf(outputs[o], STDOUT_FILENO);
    for (std::size_t other = 0; other < o; ++other) {
      std::optional<Identity> earlier = IdentityOf(outputs[other], STDOUT_FILENO);
      bool same = output && earlier ? Same(*earlier, *output)
                  : !output && !earlier
                      ? outputs[o] != "-" && NewFileName(outputs[o]) == NewFileName(outputs[other])
                      : false;
      if (same) {
        return "the outputs " + Shown(outputs[other], "(standard output)") + " and " +
               Shown(outputs[o], "(standard output)") + " are the same file";
      }
    }
  }
  return {};
}
