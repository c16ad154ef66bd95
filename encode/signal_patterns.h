// Built-in channel signals for synthesizing captures without an input file.
//   sweep:  each channel moves smoothly between 100 and 900 at its own speed
//   steps:  each channel holds one of 200, 500, 800 and jumps every 60 frames, channels offset
//   static: channel n holds 100 x n throughout
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "encode/channel_frames.h"

enum class SignalPattern { Sweep, Steps, Static };

std::optional<SignalPattern> SignalPatternNamed(const std::string& name);

// Row `frame` of the pattern.
ChannelRow PatternRow(SignalPattern pattern, std::size_t frame);

// Its first `frames` rows.
std::vector<ChannelRow> PatternRows(SignalPattern pattern, std::size_t frames);
