// Whole capture files in memory, for the companion tools and tests (the decoder itself streams).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "capture/capture_timing.h"

// Writes one record: `duration` as a little-endian 32-bit value. Returns false on a write error.
bool WriteCaptureRecord(std::FILE* file, std::int32_t duration);

// Writes `durations` as little-endian 32-bit records, atomically. Returns an error text.
std::string WriteCaptureFile(const std::string& path, const RunDurations& durations);

// Reads every whole record of `path` ("-" for standard input). Returns an error text.
std::string ReadCaptureFile(const std::string& path, RunDurations& durations);
