// MorvantisCapture monitor: the eight channels on a terminal, live.
#pragma once

#include <CLI/CLI.hpp>

void AddMonitorCommand(CLI::App& app, int& exitCode);
