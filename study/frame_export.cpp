// Decoded frames in, CSV or JSON-lines records out.
#include "study/frame_export.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

namespace {

// `opening`, then "CHANNEL":VALUE for every channel with a value, then the closing brace.
char* AppendChannelObject(char* out, std::string_view opening, const ChannelColumn& column) {
  out = AppendText(out, opening);
  bool first = true;
  for (std::size_t c = 1; c <= ChannelCount; ++c) {
    if (column[c] < 0) continue;
    if (!first) *out++ = ',';
    *out++ = '"';
    *out++ = static_cast<char>('0' + c);
    out = AppendText(out, "\":");
    out = AppendUnsigned(out, static_cast<std::uint32_t>(column[c]));
    first = false;
  }
  *out++ = '}';
  return out;
}

// Tenths as a decimal number: -125 as "-12.5".
char* AppendTenths(char* out, int tenths) {
  if (tenths < 0) *out++ = '-';
  const auto bits = static_cast<std::uint32_t>(tenths);
  const std::uint32_t magnitude = tenths < 0 ? 0u - bits : bits;
  out = AppendUnsigned(out, magnitude / 10);
  *out++ = '.';
  *out++ = static_cast<char>('0' + magnitude % 10);
  return out;
}

}  // namespace

FrameExport::FrameExport(std::FILE* output, Format format, bool allFrames, PercentTenths percent)
    : output_(output),
      writer_(output),
      format_(format),
      allFrames_(allFrames),
      percent_(std::move(percent)) {
  if (format_ == Format::Csv) {
    char* out = AppendText(writer_.Begin(),
                           "end_ms,type,p1,p2,p3,p4,p5,p6,p7,p8,d1,d2,d3,d4,d5,d6,d7,d8,"
                           "aux0,aux1,aux2,aux3,ecc0,ecc1,ecc2,ecc3,aux_ok,"
                           "ch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8");
    if (percent_) out = AppendText(out, ",pct1,pct2,pct3,pct4,pct5,pct6,pct7,pct8");
    writer_.End(AppendText(out, allFrames_ ? ",margin,grade,why\n" : "\n"));
  }
}

// The grade's fields, each after a separator (CSV cells, or JSON members).
char* FrameExport::AppendGrade(char* out, const DecodedFrame& frame,
                               std::optional<FrameDoubt> doubt) const {
  static constexpr std::array<std::string_view, 3> Why = {"weak_cells", "aux", "ecc"};
  const bool csv = format_ == Format::Csv;
  out = AppendText(out, csv ? "," : ",\"margin\":");
  if (frame.Margin < std::numeric_limits<float>::infinity()) {
    const auto hundredths =
        static_cast<std::uint64_t>(std::lround(std::min(frame.Margin, 1e6f) * 100));
    out = AppendUnsigned(out, hundredths / 100);
    *out++ = '.';
    *out++ = static_cast<char>('0' + hundredths / 10 % 10);
    *out++ = static_cast<char>('0' + hundredths % 10);
  } else if (!csv) {
    out = AppendText(out, "null");
  }
  const std::string_view grade = doubt ? "doubtful" : "trusted";
  const std::string_view why = doubt ? Why[static_cast<std::size_t>(*doubt)] : "";
  if (csv) {
    *out++ = ',';
    out = AppendText(out, grade);
    *out++ = ',';
    return AppendText(out, why);
  }
  out = AppendText(out, ",\"grade\":\"");
  out = AppendText(out, grade);
  out = AppendText(out, doubt ? "\",\"why\":\"" : "\",\"why\":null");
  if (doubt) {
    out = AppendText(out, why);
    *out++ = '"';
  }
  return out;
}

void FrameExport::OnSync(double) {
  ++syncs_;
}

void FrameExport::Write(const DecodedFrame& frame, std::optional<FrameDoubt> doubt) {
  ++written_;
  // (A doubtful frame's positions are not known to be right: they are not the channels' latest.)
  const ChannelColumn& latest = frame.Held;
  std::array<std::optional<int>, ChannelCount + 1> percent{};
  if (percent_) {
    for (std::size_t c = 1; c <= ChannelCount; ++c) {
      if (latest[c] >= 0) percent[c] = percent_(static_cast<int>(c), latest[c]);
    }
  }
  const std::string_view type = frame.Parity == OddFrame ? "odd" : "even";
  const std::string_view auxOk = frame.AuxOk ? "true" : "false";
  char* out = writer_.Begin();
  if (format_ == Format::Csv) {
    out = AppendCellTime(out, frame.EndCells, HundredthsOfMsPerCell);
    *out++ = ',';
    out = AppendText(out, type);
    for (const auto* column : {&frame.Positions, &frame.Deltas}) {
      for (std::size_t c = 1; c <= ChannelCount; ++c) {
        *out++ = ',';
        if ((*column)[c] >= 0) out = AppendUnsigned(out, static_cast<std::uint32_t>((*column)[c]));
      }
    }
    for (const auto& group : frame.Groups) {
      *out++ = ',';
      out = AppendUnsigned(out, group.Aux);
    }
    for (const auto& group : frame.Groups) {
      *out++ = ',';
      out = AppendUnsigned(out, group.Ecc);
    }
    *out++ = ',';
    out = AppendText(out, auxOk);
    for (std::size_t c = 1; c <= ChannelCount; ++c) {
      *out++ = ',';
      if (latest[c] >= 0) out = AppendUnsigned(out, static_cast<std::uint32_t>(latest[c]));
    }
    for (std::size_t c = 1; percent_ && c <= ChannelCount; ++c) {
      *out++ = ',';
      if (percent[c]) out = AppendTenths(out, *percent[c]);
    }
    if (allFrames_) out = AppendGrade(out, frame, doubt);
    *out++ = '\n';
    writer_.End(out);
    return;
  }
  out = AppendText(out, "{\"end_ms\":");
  out = AppendCellTime(out, frame.EndCells, HundredthsOfMsPerCell);
  out = AppendText(out, ",\"type\":\"");
  out = AppendText(out, type);
  *out++ = '"';
  out = AppendChannelObject(out, ",\"positions\":{", frame.Positions);
  out = AppendChannelObject(out, ",\"deltas\":{", frame.Deltas);
  out = AppendText(out, ",\"aux\":[");
  for (std::uint32_t g = 0; g < GroupsPerFrame; ++g) {
    if (g > 0) *out++ = ',';
    out = AppendUnsigned(out, frame.Groups[g].Aux);
  }
  out = AppendText(out, "],\"ecc\":[");
  for (std::uint32_t g = 0; g < GroupsPerFrame; ++g) {
    if (g > 0) *out++ = ',';
    out = AppendUnsigned(out, frame.Groups[g].Ecc);
  }
  out = AppendText(out, "],\"aux_ok\":");
  out = AppendText(out, auxOk);
  out = AppendChannelObject(out, ",\"channels\":{", latest);
  if (percent_) {
    out = AppendText(out, ",\"percent\":{");
    bool first = true;
    for (std::size_t c = 1; c <= ChannelCount; ++c) {
      if (!percent[c]) continue;
      if (!first) *out++ = ',';
      *out++ = '"';
      *out++ = static_cast<char>('0' + c);
      out = AppendText(out, "\":");
      out = AppendTenths(out, *percent[c]);
      first = false;
    }
    *out++ = '}';
  }
  if (allFrames_) out = AppendGrade(out, frame, doubt);
  out = AppendText(out, "}\n");
  writer_.End(out);
}

void FrameExport::OnSignalLost(double ms, SignalLoss why) {
  char line[128];
  const char* reason = why == SignalLoss::Stalled ? "stalled" : "silence";
  if (format_ == Format::Csv) {
    std::snprintf(line, sizeof line, "# signal lost at %.2f ms (%s)\n", ms, reason);
  } else {
    std::snprintf(line, sizeof line, "{\"event\":\"signal_lost\",\"ms\":%.2f,\"why\":\"%s\"}\n", ms,
                  reason);
  }
  writer_.End(AppendText(writer_.Begin(), line));
}

void FrameExport::OnSignalBack(double ms) {
  char line[128];
  if (format_ == Format::Csv) {
    std::snprintf(line, sizeof line, "# signal back at %.2f ms\n", ms);
  } else {
    std::snprintf(line, sizeof line, "{\"event\":\"signal_back\",\"ms\":%.2f}\n", ms);
  }
  writer_.End(AppendText(writer_.Begin(), line));
}
