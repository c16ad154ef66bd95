// Decoded and lost frames in, an SVG picture of the channel positions out.
#include "study/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int Left = 60, Top = 40, LaneHeight = 70, LaneGap = 10, Bottom = 50, Right = 20;

std::string Number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  return buffer;
}

std::string EscapeXml(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '&':
        escaped += "&amp;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

// A tick spacing of 1, 2 or 5 times a power of ten giving about six ticks.
double TickStep(double span) {
  double rough = span / 6;
  double power = std::pow(10, std::floor(std::log10(rough)));
  for (double step : {1.0, 2.0, 5.0, 10.0}) {
    if (step * power >= rough) return step * power;
  }
  return 10 * power;
}

}  // namespace

SvgPlot::SvgPlot(std::string title, double seconds)
    : title_(std::move(title)), seconds_(seconds > 0 ? seconds : 1), lost_(PlotWidth, false) {
  for (auto& lane : lanes_) lane.resize(PlotWidth);
}

int SvgPlot::ColumnOf(double ms) const {
  return std::clamp(static_cast<int>(ms / 1000 / seconds_ * PlotWidth), 0, PlotWidth - 1);
}

void SvgPlot::OnFrame(const DecodedFrame& frame) {
  ++frames_;
  int column = ColumnOf(frame.EndMs);
  for (std::uint32_t g = 0; g < GroupsPerFrame; ++g) {
    Column& cell =
        lanes_[static_cast<std::size_t>(ChannelsOfGroup(frame.Parity, g).PositionChannel - 1)]
              [static_cast<std::size_t>(column)];
    int position = static_cast<int>(frame.Groups[g].Position);
    cell.low = cell.low < 0 ? position : std::min(cell.low, position);
    cell.high = std::max(cell.high, position);
  }
}

void SvgPlot::OnLostFrame(double ms, FrameLoss) {
  ++framesLost_;
  lost_[static_cast<std::size_t>(ColumnOf(ms))] = true;
}

std::string SvgPlot::Svg() const {
  const int lanesHeight = static_cast<int>(ChannelCount) * (LaneHeight + LaneGap);
  const int width = Left + PlotWidth + Right, height = Top + lanesHeight + Bottom;
  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) +
         "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " + std::to_string(width) +
         " " + std::to_string(height) + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  svg += "<text x=\"" + std::to_string(Left) + "\" y=\"24\" font-size=\"14\">" + EscapeXml(title_) +
         " (" + std::to_string(frames_) + " frames, " + std::to_string(framesLost_) +
         " lost)</text>\n";

  for (std::size_t lane = 0; lane < ChannelCount; ++lane) {
    int top = Top + static_cast<int>(lane) * (LaneHeight + LaneGap);
    svg += "<rect x=\"" + std::to_string(Left) + "\" y=\"" + std::to_string(top) + "\" width=\"" +
           std::to_string(PlotWidth) + "\" height=\"" + std::to_string(LaneHeight) +
           "\" fill=\"#f6f6f6\" stroke=\"#ccc\"/>\n";
    svg += "<text x=\"8\" y=\"" + std::to_string(top + LaneHeight / 2 + 4) + "\">ch" +
           std::to_string(lane + 1) + "</text>\n";
    std::string points;
    for (int x = 0; x < PlotWidth; ++x) {
      const Column& cell = lanes_[lane][static_cast<std::size_t>(x)];
      if (cell.low < 0) continue;
      for (int position : {cell.low, cell.high}) {
        double y = top + LaneHeight - static_cast<double>(position) / MaxPosition * LaneHeight;
        points += Number(Left + x + 0.5) + "," + Number(y) + " ";
        if (cell.low == cell.high) break;
      }
    }
    if (!points.empty()) {
      points.pop_back();
      svg += "<polyline fill=\"none\" stroke=\"#1f5fbf\" stroke-width=\"1.2\" points=\"" + points +
             "\"/>\n";
    }
  }

  std::string marks;
  for (int x = 0; x < PlotWidth; ++x) {
    if (!lost_[static_cast<std::size_t>(x)]) continue;
    marks += "M" + std::to_string(Left + x) + " " + std::to_string(Top - 6) + "v" +
             std::to_string(lanesHeight + 6);
  }
  if (!marks.empty()) {
    svg += "<path d=\"" + marks + "\" stroke=\"#d62728\" stroke-opacity=\"0.6\" fill=\"none\"/>\n";
  }

  int axis = Top + lanesHeight;
  double step = TickStep(seconds_);
  for (double t = 0; t <= seconds_ + step / 1000; t += step) {
    double x = Left + t / seconds_ * PlotWidth;
    svg += "<line x1=\"" + Number(x) + "\" y1=\"" + std::to_string(axis) + "\" x2=\"" + Number(x) +
           "\" y2=\"" + std::to_string(axis + 5) + "\" stroke=\"black\"/>\n";
    char label[32];
    std::snprintf(label, sizeof label, "%g", t);
    svg += "<text x=\"" + Number(x) + "\" y=\"" + std::to_string(axis + 18) +
           "\" text-anchor=\"middle\">" + label + "</text>\n";
  }
  svg += "<text x=\"" + std::to_string(Left + PlotWidth / 2) + "\" y=\"" +
         std::to_string(axis + 38) + "\" text-anchor=\"middle\">time (s)</text>\n";
  return svg + "</svg>\n";
}
