// Capture files written and read whole: in, a list of run durations; out, a file of
// little-endian signed 32-bit records (and the other way round). For the companion tools and
// tests; the decoder itself streams.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "common/pcm_types.h"

// A whole capture in memory: one duration per run, in file order.
using RunDurations = std::vector<RunDuration>;

// Writes one record: `duration` as a little-endian 32-bit value. Returns false on a write error.
bool WriteCaptureRecord(std::FILE* file, std::int32_t duration);

// Writes `count` records at once. Returns false on a write error.
bool WriteCaptureRecords(std::FILE* file, const std::int32_t* durations, std::size_t count);

// Writes `durations` as little-endian 32-bit records, atomically. Returns an error text.
std::string WriteCaptureFile(const std::string& path, const RunDurations& durations);

// What a file that is not a capture looks like, from its first bytes: an audio recording (RIFF
// WAVE, RF64, W64, FLAC, Ogg, AIFF, AU; MP3 by an ID3 tag or by two frame headers as far apart
// as the first says), a VCD trace, or text. Returns how to say it
// ("looks like an audio recording; run MorvantisCapture import first"), or an empty text for
// bytes a capture may start with.
std::string RecognizeNonCapture(const unsigned char* bytes, std::size_t size);

// How RecognizeNonCapture's answer begins for an audio recording.
inline constexpr std::string_view AudioRecordingRefusal = "looks like an audio recording";

// Reads every whole record of `path` ("-" for standard input). Returns an error text.
std::string ReadCaptureFile(const std::string& path, RunDurations& durations);
