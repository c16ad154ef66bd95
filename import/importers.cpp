// A --format name and an input name in, the importer that reads it out.
#include "import/importers.h"

#include <algorithm>
#include <cctype>

#include "import/audio_import.h"
#include "import/logic_import.h"
#include "import/raw_pcm_import.h"

namespace {

bool EndsWith(std::string_view text, std::string_view ending) {
  if (ending.empty() || text.size() < ending.size()) return false;
  return std::equal(
      ending.begin(), ending.end(), text.end() - static_cast<long>(ending.size()),
      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

const std::array<Importer, 4> Table = {{
    {"audio", {}, ImportAudio},
    {"raw", {".raw", ".pcm"}, ImportRawPcm},
    {"vcd", {".vcd"}, ImportVcdFile},
    {"csv", {".csv"}, ImportLevelCsvFile},
}};

}  // namespace

const std::array<Importer, 4>& Importers() {
  return Table;
}

const Importer* ChooseImporter(std::string_view name, std::string_view input) {
  if (name != "auto") {
    for (const Importer& importer : Table) {
      if (importer.Name == name) return &importer;
    }
    return nullptr;
  }
  for (const Importer& importer : Table) {
    for (std::string_view ending : importer.Extensions) {
      if (EndsWith(input, ending)) return &importer;
    }
  }
  return &Table.front();
}
