// The import of samples, whatever their source. In: a sample source and the import's request.
// Out: runs to the request's sink (a capture file's writer, a decode session), handed on after
// every block together with the signal time reached, and the summary. Damaged samples are
// cleaned (sample_guard.h); a live input ends at its end, after --seconds, when SIGINT or
// SIGTERM says so, or when the sink takes no more, keeping every whole run found.
#pragma once

#include <string>

#include "import/import_request.h"
#include "import/sample_source.h"

// The sample rates a recording is received at: from about 1.2 samples a cell up to the fastest
// sound cards.
inline constexpr int LowestSampleRate = 8000;
inline constexpr int HighestSampleRate = 768000;

// Says that `name`'s sample rate `rate` is out of range; an empty text when it is in range.
std::string RefuseSampleRate(const std::string& name, double rate);

// `name` names the input in messages. Returns an error text, empty on success.
std::string ImportSamples(SampleSource& source, const std::string& name,
                          const ImportRequest& request, ImportSummary& summary);
