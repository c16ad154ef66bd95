// What every MorvantisCapture subcommand shares: how it reports a failure, its exit codes, and
// the checks its numeric options get (messages a user can act on: "abc is not a number").
#pragma once

#include <CLI/CLI.hpp>

#include <string>

inline constexpr int ExitOk = 0;
inline constexpr int ExitFailed = 1;  // bad input, unreadable or unwritable files
inline constexpr int ExitUsage = 2;   // options that make no sense

// Prints "MorvantisCapture COMMAND: MESSAGE" on standard error and returns ExitFailed.
int Fail(const std::string& command, const std::string& message);

// The same for options that make no sense together: returns ExitUsage.
int Usage(const std::string& command, const std::string& message);

// Prints each line of `text` (its last newline may be left off) on standard error as
// "MorvantisCapture COMMAND: LINE": every message of every command starts with its name.
void Note(const std::string& command, const std::string& text);

// Standard output is checked once at the end: flushed, then its error state. Returns the exit
// code to use, reporting a failure on standard error.
int FinishStandardOutput(const std::string& command, int exitCode);

// An option's value must be a decimal number from `lowest` to `highest` (digits, a point, an
// exponent; no hexadecimal, inf or nan).
CLI::Validator NumberIn(double lowest, double highest);

// An option's value must be a whole decimal number from `lowest` to `highest`.
CLI::Validator WholeNumberIn(long long lowest, long long highest);

// What --scale and synth's --time-scale take, in the same words in each option's help.
inline const std::string ClockFactorMeaning =
    "the transmitter's clock: 1.03 is a transmitter 3 percent slow, its cells 3 percent long";

// --speed: how fast a capture file plays, in times its own pace; 0 as fast as it decodes.
void AddSpeedOption(CLI::App* command, double& speed);

// --units raw|percent: positions as decoded (0 to 1023), or beside them the percent of each
// channel's calibrated travel (-100 to 100).
void AddUnitsOption(CLI::App* command, std::string& units);

// --ecc FILE, for every command that reads groups: a known ecc code (as analyze --save-ecc
// writes it) that the groups are checked against.
CLI::Option* AddEccCodeOption(CLI::App* command, std::string& file);
