// Surfaces a plot is drawn on. In: shapes and texts in pixel coordinates (origin at the top
// left). Out: an SVG document or a PNG image of them. The plot is laid out once
// (plot_picture.h) and drawn on either, so both show the same picture.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct PlotColour {
  unsigned char R, G, B;
};

enum class TextAnchor { Start, Middle, End };

class PlotCanvas {
 public:
  virtual ~PlotCanvas() = default;
  virtual void Rectangle(double x, double y, double width, double height, PlotColour fill,
                         PlotColour stroke) = 0;
  virtual void Line(double x1, double y1, double x2, double y2, PlotColour colour, double width,
                    double opacity) = 0;
  // A line through `points` in order.
  virtual void Polyline(const std::vector<std::pair<double, double>>& points, PlotColour colour,
                        double width) = 0;
  // `text` (any bytes; shown as UTF-8) with its baseline at y.
  virtual void Text(double x, double y, std::string_view text, double size, TextAnchor anchor,
                    PlotColour colour, bool bold) = 0;
  // Writes the finished picture to `output`. Returns an error text.
  virtual std::string Write(std::FILE* output) = 0;
};

// The canvas for a picture named `path`: SVG for .svg (and for -, standard output), PNG for
// .png; nullptr for any other name, which `error` then explains.
std::unique_ptr<PlotCanvas> CanvasFor(const std::string& path, int width, int height,
                                      std::string& error);
