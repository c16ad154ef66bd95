// MorvantisCapture import: an audio recording or a logic-analyzer export to a capture file.
#pragma once

#include <CLI/CLI.hpp>

void AddImportCommand(CLI::App& app, int& exitCode);
