// How a subcommand reports failure and checks standard output and its numbers.
#include "tools/command_support.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

std::string Shown(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

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

CLI::Validator NumberIn(double lowest, double highest) {
  return CLI::Validator(
      [lowest, highest](std::string& text) -> std::string {
        char* end = nullptr;
        errno = 0;
        double value = std::strtod(text.c_str(), &end);
        if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value))
          return text + " is not a number";
        if (value < lowest || value > highest)
          return text + " is outside " + Shown(lowest) + " to " + Shown(highest);
        return {};
      },
      "NUMBER " + Shown(lowest) + " to " + Shown(highest));
}

CLI::Validator WholeNumberIn(long long lowest, long long highest) {
  return CLI::Validator(
      [lowest, highest](std::string& text) -> std::string {
        char* end = nullptr;
        errno = 0;
        long long value = std::strtoll(text.c_str(), &end, 10);
        if (text.empty() || end != text.c_str() + text.size() || errno == ERANGE)
          return text + " is not a whole number";
        if (value < lowest || value > highest)
          return text + " is outside " + std::to_string(lowest) + " to " + std::to_string(highest);
        return {};
      },
      "INTEGER " + std::to_string(lowest) + " to " + std::to_string(highest));
}

CLI::Option* AddEccCodeOption(CLI::App* command, std::string& file) {
  return command->add_option("--ecc", file,
                             "Check every group against the ecc code in this file (as analyze "
                             "--save-ecc writes it); groups that fail are counted");
}
