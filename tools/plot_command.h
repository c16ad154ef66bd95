// MorvantisCapture plot: the channel positions of a capture as an SVG or PNG picture.
#pragma once

#include <CLI/CLI.hpp>

void AddPlotCommand(CLI::App& app, int& exitCode);
