// Logic-analyzer exports to captures: only the moments where the chosen signal changes level
// count, never how often rows or samples were written.
//
//   VCD: the signal is picked by name (--signal, needed when the file has more than one); the
//        timescale is honoured; initial values may come in a $dumpvars block or plainly after
//        #0. The recording starts at time 0.
//   CSV: one row per sample, "time,level" with the time in seconds; an optional header row.
//        A level of 0.5 or more is high. The recording starts at the first row.
#pragma once

#include <cstdio>
#include <istream>
#include <string>

#include "capture/audio_import.h"

struct LogicImportOptions {
  std::string Signal;  // VCD only; empty: the file's only signal
  double Scale = 1;
};

// Each returns an error of the form "NAME:LINE: what is wrong" (or about the whole file), or an
// empty text on success.
std::string ImportVcd(std::istream& in, const std::string& name, const LogicImportOptions& options,
                      std::FILE* output, ImportSummary& summary);
std::string ImportLevelCsv(std::istream& in, const std::string& name,
                           const LogicImportOptions& options, std::FILE* output,
                           ImportSummary& summary);
