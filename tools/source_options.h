// The options that say where a signal comes from and how it is received, declared once for every
// command that reads one (import, monitor, export, plot, analyze): one name, one range and one
// help text each.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

#include "import/import_request.h"
#include "sources/signal_source.h"

// A sound card's and the receiver's options: --device, --raw, --rate, --channels, --channel,
// --seconds, --min-run, --threshold, --scale.
void AddReceiverOptions(CLI::App* command, ImportRequest& request,
                        std::optional<double>& threshold);

// A reader's source: the positional SOURCE, the receiver's options and --signal-lost-ms.
void AddSourceOptions(CLI::App* command, SourceOptions& options);

// --ecc FILE for the readers of a source (export, monitor, joystick): the code is read into the
// decode session's settings, so groups that fail it keep their frame's values from every
// reader. Returns an error text (an input fault); no file, no code.
std::string UseEccCode(const std::string& file, SourceOptions& options);

// Refuses a command whose `outputs` would write over what it reads: its source, and the other
// files it reads (`otherInputs`: an ecc code, a calibration; empty names are left out). Returns
// an error text (an input fault), empty when none clash.
std::string RefuseWritingOverInputs(const SourceOptions& source,
                                    const std::vector<std::string>& otherInputs,
                                    const std::vector<std::string>& outputs);

// The source's usage error (see CheckSourceOptions), empty when the options make sense; a
// warning on standard error for the receiver's options given with a capture, which change
// nothing.
std::string CheckSource(const std::string& command, const SourceOptions& source);
