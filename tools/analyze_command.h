// MorvantisCapture analyze: a diagnosis of a capture, as text or one JSON object.
#pragma once

#include <CLI/CLI.hpp>

void AddAnalyzeCommand(CLI::App& app, int& exitCode);
