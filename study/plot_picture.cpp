// Columns of positions and losses in, the drawing of the plot on a canvas out.
#include "study/plot_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "study/counted_noun.h"

namespace {

constexpr int TopMargin = 64;     // title and legend
constexpr int BottomMargin = 48;  // time axis
constexpr int LaneGap = 10;

constexpr PlotColour Black{0, 0, 0};
constexpr PlotColour Grey{110, 110, 110};
constexpr PlotColour Grid{225, 225, 225};
constexpr PlotColour LaneBackground{250, 250, 250};
constexpr PlotColour LaneBorder{190, 190, 190};
constexpr PlotColour White{255, 255, 255};
constexpr PlotColour LostMark{214, 39, 40};
// One colour per channel, none of them the lost-frame red.
constexpr std::array<PlotColour, ChannelCount> ChannelColours = {{{31, 119, 180},
                                                                  {255, 127, 14},
                                                                  {44, 160, 44},
                                                                  {148, 103, 189},
                                                                  {140, 86, 75},
                                                                  {227, 119, 194},
                                                                  {23, 190, 207},
                                                                  {188, 189, 34}}};

constexpr std::array<int, 5> ValueTicks = {0, 256, 512, 768, MaxPosition};

struct TimeUnit {
  const char* Name;
  double Ms;
};

// Milliseconds for short pictures, then seconds, minutes and hours.
TimeUnit UnitFor(double spanMs) {
  if (spanMs <= 2000) return {"ms", 1};
  if (spanMs <= 180'000) return {"s", 1000};
  if (spanMs <= 3 * 3'600'000.0) return {"min", 60'000};
  return {"h", 3'600'000};
}

// A tick spacing of 1, 2 or 5 times a power of ten giving about eight ticks over `span`.
double TickStep(double span) {
  double rough = span / 8;
  double power = std::pow(10, std::floor(std::log10(rough)));
  for (double step : {1.0, 2.0, 5.0}) {
    if (step * power >= rough) return step * power;
  }
  return 10 * power;
}

// Adds a point to a line of steps, dropping points that lie on the straight line between their
// neighbours, so a channel that holds still costs nothing.
void AddPoint(std::vector<std::pair<double, double>>& points, double x, double y) {
  if (!points.empty() && points.back() == std::make_pair(x, y)) return;
  if (points.size() >= 2) {
    auto [x1, y1] = points[points.size() - 2];
    auto [x2, y2] = points.back();
    bool vertical = x1 == x2 && x2 == x && (y2 - y1) * (y - y2) >= 0;
    bool horizontal = y1 == y2 && y2 == y && (x2 - x1) * (x - x2) >= 0;
    if (vertical || horizontal) {
      points.back() = {x, y};
      return;
    }
  }
  points.emplace_back(x, y);
}

std::string Shown(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", std::abs(value) < 1e-9 ? 0.0 : value);
  return text;
}

}  // namespace

void DrawPlot(const PlotColumns& columns, const PlotLook& look, PlotCanvas& canvas) {
  std::vector<std::size_t> shown;
  for (std::size_t c = 0; c < ChannelCount; ++c) {
    if (look.Channels[c]) shown.push_back(c);
  }
  const double left = PlotLeftMargin, width = PlotAreaWidth(look.Width);
  const double lanesTop = TopMargin;
  const double lanesHeight = look.Height - TopMargin - BottomMargin;
  const double laneHeight =
      std::max(10.0, (lanesHeight - LaneGap * static_cast<double>(shown.size() - 1)) /
                         static_cast<double>(shown.size()));
  const double fromMs = columns.FromMs();
  const double spanMs = std::max(columns.EndMs() - fromMs, 1e-3);
  auto xOf = [&](double ms) { return left + (ms - fromMs) / spanMs * width; };

  canvas.Rectangle(0, 0, look.Width, look.Height, White, White);
  std::string title = look.Title + " - " + Counted(columns.Frames(), "frame") + ", " +
                      std::to_string(columns.FramesLost()) + " lost";
  canvas.Text(left, 22, title, 15, TextAnchor::Start, Black, true);

  // Legend: the channels' colours, then the lost-frame mark.
  double legendX = left;
  for (std::size_t c : shown) {
    canvas.Line(legendX, 42, legendX + 18, 42, ChannelColours[c], 2.5, 1);
    canvas.Text(legendX + 22, 46, "ch" + std::to_string(c + 1), 11, TextAnchor::Start, Black,
                false);
    legendX += 62;
  }
  canvas.Line(legendX + 8, 34, legendX + 8, 50, LostMark, 2, 0.7);
  canvas.Text(legendX + 14, 46, "lost frame", 11, TextAnchor::Start, Black, false);
  canvas.Text(left + width, 46, "positions 0 to 1023, held until the next frame carries them", 10,
              TextAnchor::End, Grey, false);

  for (std::size_t lane = 0; lane < shown.size(); ++lane) {
    const std::size_t channel = shown[lane];
    const double top = lanesTop + static_cast<double>(lane) * (laneHeight + LaneGap);
    auto yOf = [&](int position) {
      return top + laneHeight - static_cast<double>(position) / MaxPosition * laneHeight;
    };
    canvas.Rectangle(left, top, width, laneHeight, LaneBackground, LaneBorder);
    for (int tick : ValueTicks) {
      double y = yOf(tick);
      if (tick != 0 && tick != MaxPosition) canvas.Line(left, y, left + width, y, Grid, 1, 1);
      canvas.Line(left - 4, y, left, y, Black, 1, 1);
      if (laneHeight >= 60 || tick == 0 || tick == MaxPosition) {
        canvas.Text(left - 6, y + 3.5, std::to_string(tick), 9, TextAnchor::End, Grey, false);
      }
    }
    canvas.Text(8, top + laneHeight / 2 + 5, "ch" + std::to_string(channel + 1), 13,
                TextAnchor::Start, ChannelColours[channel], true);

    // Steps: the value holds to the next column that carries one, then jumps; within a column
    // the line covers every position the column saw.
    std::vector<std::pair<double, double>> points;
    for (std::size_t column = 0; column < columns.Columns(); ++column) {
      const PlotColumns::Cell& cell = columns.At(channel, column);
      if (cell.First < 0) continue;
      double x = xOf(fromMs + static_cast<double>(column) * columns.ColumnMs());
      if (x > left + width) break;
      if (!points.empty()) AddPoint(points, x, points.back().second);
      AddPoint(points, x, yOf(cell.First));
      if (cell.Low != cell.High) {
        // Through the column's whole range, ending nearest where it goes on from.
        bool rising = cell.Last - cell.Low >= cell.High - cell.Last;
        AddPoint(points, x, yOf(rising ? cell.Low : cell.High));
        AddPoint(points, x, yOf(rising ? cell.High : cell.Low));
      }
      AddPoint(points, x, yOf(cell.Last));
    }
    if (!points.empty()) AddPoint(points, left + width, points.back().second);
    canvas.Polyline(points, ChannelColours[channel], 1.3);
  }

  const double lanesBottom =
      lanesTop + static_cast<double>(shown.size()) * (laneHeight + LaneGap) - LaneGap;
  for (std::size_t column = 0; column < columns.Columns(); ++column) {
    if (columns.LostAt(column) == 0) continue;
    double x = xOf(fromMs + (static_cast<double>(column) + 0.5) * columns.ColumnMs());
    if (x > left + width) break;
    canvas.Line(x, lanesTop, x, lanesBottom, LostMark, 1, 0.6);
  }

  // Time axis.
  const TimeUnit unit = UnitFor(spanMs);
  const double step = TickStep(spanMs / unit.Ms);
  const double axis = lanesBottom + 4;
  canvas.Line(left, axis, left + width, axis, Black, 1, 1);
  for (double t = std::ceil(fromMs / unit.Ms / step) * step;
       t * unit.Ms <= fromMs + spanMs * (1 + 1e-9); t += step) {
    double x = xOf(t * unit.Ms);
    canvas.Line(x, axis, x, axis + 5, Black, 1, 1);
    canvas.Text(x, axis + 18, Shown(t), 10, TextAnchor::Middle, Black, false);
  }
  canvas.Text(left + width / 2, axis + 36, std::string("time (") + unit.Name + ")", 11,
              TextAnchor::Middle, Black, false);
}
