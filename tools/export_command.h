// MorvantisCapture export: decoded frames as CSV or JSON lines.
#pragma once

#include <CLI/CLI.hpp>

void AddExportCommand(CLI::App& app, int& exitCode);
