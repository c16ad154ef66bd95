// The picture of a capture. In: the columns of decoded positions and lost frames (plot_columns.h)
// and how the picture should look. Out: drawing calls on a canvas: a title naming the capture, a
// legend, one lane per chosen channel with its position drawn as steps (a channel holds its
// value until the next frame that carries it) against a value axis from 0 to 1023, red marks
// where frames were lost, and a time axis in ms, s, min or h, whichever suits the length.
#pragma once

#include <array>
#include <string>

#include "study/plot_canvas.h"
#include "study/plot_columns.h"

struct PlotLook {
  int Width = 1200;
  int Height = 800;
  std::string Title;
  std::array<bool, ChannelCount> Channels{true, true, true, true, true, true, true, true};
};

// The left edge and the width of the plotting area, in pixels, for a picture `width` wide.
inline constexpr int PlotLeftMargin = 80;
inline constexpr int PlotRightMargin = 20;
inline int PlotAreaWidth(int width) {
  return width - PlotLeftMargin - PlotRightMargin;
}

void DrawPlot(const PlotColumns& columns, const PlotLook& look, PlotCanvas& canvas);
