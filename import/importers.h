// Every kind of input `import` reads, in one table: its name (for --format), the file-name
// endings it is chosen by, and the function that reads it. An input whose name has none of the
// listed endings is read as audio.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "import/import_request.h"

using ImportReader = std::string (*)(const ImportRequest& request, ImportSummary& summary);

struct Importer {
  std::string_view Name;
  std::array<std::string_view, 2> Extensions;  // lower case, with the dot; empty: none
  ImportReader Read;
};

// The importers, the audio one first (it is the default).
const std::array<Importer, 4>& Importers();

// The importer named `name`, or the one `input`'s ending picks when `name` is "auto"; nullptr
// for an unknown name.
const Importer* ChooseImporter(std::string_view name, std::string_view input);
