// A pattern name and a frame count in, rows of channel positions out.
#include "encode/signal_patterns.h"

#include <cmath>
#include <numbers>

std::optional<SignalPattern> SignalPatternNamed(const std::string& name) {
  if (name == "sweep") return SignalPattern::Sweep;
  if (name == "steps") return SignalPattern::Steps;
  if (name == "static") return SignalPattern::Static;
  return std::nullopt;
}

ChannelRow PatternRow(SignalPattern pattern, std::size_t f) {
  ChannelRow row{};
  for (std::size_t c = 0; c < ChannelCount; ++c) {
    std::int32_t value = 0;
    switch (pattern) {
      case SignalPattern::Sweep: {
        double period = 400.0 + 90.0 * static_cast<double>(c);  // frames per cycle
        double phase = 2 * std::numbers::pi * (static_cast<double>(f) / period + 0.13 * c);
        value = static_cast<std::int32_t>(std::lround(500 + 400 * std::sin(phase)));
        break;
      }
      case SignalPattern::Steps: {
        constexpr std::int32_t Levels[] = {200, 500, 800};
        value = Levels[(f / 60 + c) % 3];
        break;
      }
      case SignalPattern::Static:
        value = static_cast<std::int32_t>(100 * (c + 1));
        break;
    }
    row[c] = value;
  }
  return row;
}

std::vector<ChannelRow> PatternRows(SignalPattern pattern, std::size_t frames) {
  std::vector<ChannelRow> rows(frames);
  for (std::size_t f = 0; f < frames; ++f) rows[f] = PatternRow(pattern, f);
  return rows;
}
