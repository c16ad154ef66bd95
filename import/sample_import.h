// The import of samples, whatever their source. In: a sample source and the import's request.
// Out: capture records on the request's output, written run by run as each edge is found and
// handed on after every block when someone reads them live, and the summary. Damaged samples
// are cleaned (sample_guard.h); a live input ends at its end, after --seconds, or when SIGINT
// or SIGTERM says so, keeping every whole run found.
#pragma once

#include <string>

#include "import/import_request.h"
#include "import/sample_source.h"

// `name` names the input in messages. Returns an error text, empty on success.
std::string ImportSamples(SampleSource& source, const std::string& name,
                          const ImportRequest& request, ImportSummary& summary);
