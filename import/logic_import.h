// Logic-analyzer exports to captures. In: a VCD file or a CSV of time,level rows. Out: capture
// records. Only the moments where the chosen signal changes level count, never how often rows
// or samples were written.
//
//   VCD: the signal is picked by name (--signal, needed when the file has more than one); the
//        timescale is honoured; initial values may come in a $dumpvars block or plainly after
//        #0. The recording starts at time 0. Tokens, scopes and names have limits (65536
//        characters, 64 levels, 4096 characters, 100000 signals) that keep memory bounded.
//   CSV: one row per sample, "time,level" with the time in seconds; an optional header row;
//        lines starting with # or ; are comments. A level of 0.5 or more is high. The
//        recording starts at the first row, whose time may be negative (a pre-trigger).
#pragma once

#include <istream>
#include <string>

#include "import/import_request.h"

// Each reads `in`, named `name` in messages, and returns an error of the form
// "NAME:LINE: what is wrong" (or about the whole file), or an empty text on success.
std::string ImportVcd(std::istream& in, const std::string& name, const ImportRequest& request,
                      ImportSummary& summary);
std::string ImportLevelCsv(std::istream& in, const std::string& name, const ImportRequest& request,
                           ImportSummary& summary);

// The same, opening the request's input.
std::string ImportVcdFile(const ImportRequest& request, ImportSummary& summary);
std::string ImportLevelCsvFile(const ImportRequest& request, ImportSummary& summary);
