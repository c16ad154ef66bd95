// Channel CSV: a header row naming the columns ch1 to ch8 (any order, each once, nothing else),
// then one row per frame of positions 0 to 1023. Blank lines are skipped; CR LF line ends and
// spaces around a value are accepted.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "encode/channel_frames.h"

// Parses the whole text. Returns an error of the form "NAME:LINE:COLUMN: what is wrong", or an
// empty text on success.
std::string ParseChannelCsv(std::istream& in, const std::string& name,
                            std::vector<ChannelRow>& rows);
