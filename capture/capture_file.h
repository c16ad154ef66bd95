// Whole capture files in memory, for the companion tools and tests (the decoder itself streams).
#pragma once

#include <string>

#include "capture/capture_timing.h"

// Writes `durations` as little-endian 32-bit records, atomically. Returns an error text.
std::string WriteCaptureFile(const std::string& path, const RunDurations& durations);

// Reads every whole record of `path` ("-" for standard input). Returns an error text.
std::string ReadCaptureFile(const std::string& path, RunDurations& durations);
