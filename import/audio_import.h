// Audio recordings to captures. In: an audio file that libsndfile reads (WAV, FLAC, AIFF, W64,
// RF64 and the rest it knows; integer or float samples; 8 kHz to 768 kHz). Out: capture
// records. The file is read block by block, one channel goes through the receiver to level
// changes, and the edges become run durations. Memory stays fixed for recordings of any length.
#pragma once

#include <string>

#include "import/import_request.h"

// Reads the request's input and writes its runs to its output. Returns an error text, empty on
// success.
std::string ImportAudio(const ImportRequest& request, ImportSummary& summary);
