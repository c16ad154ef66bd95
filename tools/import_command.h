// MorvantisCapture import: an audio recording or a logic-analyzer export to a capture file.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>

#include "import/import_request.h"

void AddImportCommand(CLI::App& app, int& exitCode);

// The options of a sound card and of the receiver, shared with the commands that record:
// --rate, --channels, --device, --seconds, --channel, --min-run, --threshold, --scale.
void AddReceiverOptions(CLI::App* command, ImportRequest& request,
                        std::optional<double>& threshold);
