// The check every option that names a file gets. In: the option's text. Out: a refusal of an
// empty name, which would otherwise quietly mean standard output or a default place.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

inline CLI::Validator FileName() {
  return CLI::Validator(
      [](std::string& text) -> std::string { return text.empty() ? "an empty file name" : ""; },
      "");
}
