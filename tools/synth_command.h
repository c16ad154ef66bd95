// MorvantisCapture synth: channel values (a CSV file or a built-in pattern) to a capture file.
#pragma once

#include <CLI/CLI.hpp>

// Registers the subcommand; `exitCode` receives its result when it runs.
void AddSynthCommand(CLI::App& app, int& exitCode);
