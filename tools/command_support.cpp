// How a subcommand reports failure and checks standard output.
#include "tools/command_support.h"

#include <cstdio>

int Fail(const std::string& command, const std::string& message) {
  std::fprintf(stderr, "MorvantisCapture %s: %s\n", command.c_str(), message.c_str());
  return ExitFailed;
}

int FinishStandardOutput(const std::string& command, int exitCode) {
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    return Fail(command, "cannot write to standard output");
  }
  return exitCode;
}
