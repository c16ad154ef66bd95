// How a subcommand reports failure and checks standard output and its numbers.
#include "tools/command_support.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "files/file_name_check.h"

namespace {

// strtod and strtoll read more than people write as numbers: hexadecimal, inf, nan, blanks.
bool DecimalCharactersOnly(const std::string& text, const char* allowed) {
  return !text.empty() && text.find_first_not_of(allowed) == std::string::npos;
}

std::string Shown(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

void Note(const std::string& command, const std::string& text) {
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::fprintf(stderr, "MorvantisCapture %s: %.*s\n", command.c_str(),
                 static_cast<int>(end - start), text.c_str() + start);
    start = end + 1;
  }
}

int Fail(const std::string& command, const std::string& message) {
  Note(command, message);
  return ExitFailed;
}

int Usage(const std::string& command, const std::string& message) {
  Fail(command, message);
  return ExitUsage;
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
        if (!DecimalCharactersOnly(text, "0123456789+-.eE") || end != text.c_str() + text.size() ||
            !std::isfinite(value))
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
        if (!DecimalCharactersOnly(text, "0123456789+-") || end != text.c_str() + text.size())
          return text + " is not a whole number";
        if (errno == ERANGE || value < lowest || value > highest)
          return text + " is outside " + std::to_string(lowest) + " to " + std::to_string(highest);
        return {};
      },
      "INTEGER " + std::to_string(lowest) + " to " + std::to_string(highest));
}

void AddSpeedOption(CLI::App* command, double& speed) {
  command
      ->add_option("--speed", speed,
                   "Play a capture file at this many times its pace; 0: as fast as it decodes "
                   "(default 1)")
      ->check(NumberIn(0, 1000));
}

void AddUnitsOption(CLI::App* command, std::string& units) {
  command
      ->add_option("--units", units,
                   "raw (positions 0 to 1023, the default) or percent (beside them, -100 to 100 "
                   "of each channel's calibrated travel: needs a calibration)")
      ->check(CLI::IsMember({"raw", "percent"}));
}

CLI::Option* AddEccCodeOption(CLI::App* command, std::string& file) {
  return command
      ->add_option("--ecc", file,
                   "Check every group against the ecc code in this file (as analyze "
                   "--save-ecc writes it); groups that fail are counted, and no frame of "
                   "theirs is read for its values")
      ->check(FileName());
}
