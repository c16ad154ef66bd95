// Shapes and texts in, an SVG document (written here) or a PNG image (drawn by Cairo) out.
#include "study/plot_canvas.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "study/text_escape.h"

namespace {

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  std::string shown = text;
  if (shown.size() > 2 && shown.compare(shown.size() - 2, 2, ".0") == 0)
    shown.resize(shown.size() - 2);
  return shown;
}

std::string Hex(PlotColour colour) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", colour.R, colour.G, colour.B);
  return text;
}

class SvgCanvas : public PlotCanvas {
 public:
  SvgCanvas(int width, int height) {
    svg_ =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
        "width=\"" +
        std::to_string(width) + "\" height=\"" + std::to_string(height) + "\" viewBox=\"0 0 " +
        std::to_string(width) + " " + std::to_string(height) + "\" font-family=\"sans-serif\">\n";
  }

  void Rectangle(double x, double y, double width, double height, PlotColour fill,
                 PlotColour stroke) override {
    svg_ += "<rect x=\"" + Number(x) + "\" y=\"" + Number(y) + "\" width=\"" + Number(width) +
            "\" height=\"" + Number(height) + "\" fill=\"" + Hex(fill) + "\" stroke=\"" +
            Hex(stroke) + "\"/>\n";
  }

  void Line(double x1, double y1, double x2, double y2, PlotColour colour, double width,
            double opacity) override {
    svg_ += "<line x1=\"" + Number(x1) + "\" y1=\"" + Number(y1) + "\" x2=\"" + Number(x2) +
            "\" y2=\"" + Number(y2) + "\" stroke=\"" + Hex(colour) + "\" stroke-width=\"" +
            Number(width) + "\"" +
            (opacity < 1 ? " stroke-opacity=\"" + Number(opacity) + "\"" : std::string()) + "/>\n";
  }

  void Polyline(const std::vector<std::pair<double, double>>& points, PlotColour colour,
                double width) override {
    if (points.empty()) return;
    svg_ += "<polyline fill=\"none\" stroke=\"" + Hex(colour) + "\" stroke-width=\"" +
            Number(width) + "\" points=\"";
    for (std::size_t i = 0; i < points.size(); ++i) {
      if (i > 0) svg_ += ' ';
      svg_ += Number(points[i].first) + "," + Number(points[i].second);
    }
    svg_ += "\"/>\n";
  }

  void Text(double x, double y, std::string_view text, double size, TextAnchor anchor,
            PlotColour colour, bool bold) override {
    const char* anchors[] = {"start", "middle", "end"};
    svg_ += "<text x=\"" + Number(x) + "\" y=\"" + Number(y) + "\" font-size=\"" + Number(size) +
            "\" text-anchor=\"" + anchors[static_cast<int>(anchor)] + "\" fill=\"" + Hex(colour) +
            "\"" + (bold ? " font-weight=\"bold\"" : "") + ">" + XmlText(text) + "</text>\n";
  }

  std::string Write(std::FILE* output) override {
    svg_ += "</svg>\n";
    if (std::fwrite(svg_.data(), 1, svg_.size(), output) != svg_.size()) return "write error";
    return {};
  }

 private:
  std::string svg_;
};

class PngCanvas : public PlotCanvas {
 public:
  PngCanvas(int width, int height)
      : surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height)),
        cairo_(cairo_create(surface_)) {
    cairo_set_source_rgb(cairo_, 1, 1, 1);
    cairo_paint(cairo_);
    cairo_select_font_face(cairo_, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  }
  ~PngCanvas() override {
    cairo_destroy(cairo_);
    cairo_surface_destroy(surface_);
    // Cairo and fontconfig keep their font caches to the end of the process; a command draws
    // one picture, so they are let go here and leak checkers see a clean exit.
    cairo_debug_reset_static_data();
    FcFini();
  }
  PngCanvas(const PngCanvas&) = delete;
  PngCanvas& operator=(const PngCanvas&) = delete;

  void Rectangle(double x, double y, double width, double height, PlotColour fill,
                 PlotColour stroke) override {
    cairo_rectangle(cairo_, x, y, width, height);
    Colour(fill, 1);
    cairo_fill_preserve(cairo_);
    Colour(stroke, 1);
    cairo_set_line_width(cairo_, 1);
    cairo_stroke(cairo_);
  }

  void Line(double x1, double y1, double x2, double y2, PlotColour colour, double width,
            double opacity) override {
    cairo_move_to(cairo_, x1, y1);
    cairo_line_to(cairo_, x2, y2);
    Colour(colour, opacity);
    cairo_set_line_width(cairo_, width);
    cairo_stroke(cairo_);
  }

  void Polyline(const std::vector<std::pair<double, double>>& points, PlotColour colour,
                double width) override {
    if (points.empty()) return;
    cairo_move_to(cairo_, points[0].first, points[0].second);
    for (std::size_t i = 1; i < points.size(); ++i)
      cairo_line_to(cairo_, points[i].first, points[i].second);
    Colour(colour, 1);
    cairo_set_line_width(cairo_, width);
    cairo_set_line_join(cairo_, CAIRO_LINE_JOIN_MITER);
    cairo_stroke(cairo_);
  }

  void Text(double x, double y, std::string_view text, double size, TextAnchor anchor,
            PlotColour colour, bool bold) override {
    std::string shown = ValidUtf8(text);
    cairo_select_font_face(cairo_, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cairo_, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cairo_, shown.c_str(), &extents);
    double shift = anchor == TextAnchor::Start    ? 0
                   : anchor == TextAnchor::Middle ? extents.x_advance / 2
                                                  : extents.x_advance;
    cairo_move_to(cairo_, x - shift, y);
    Colour(colour, 1);
    cairo_show_text(cairo_, shown.c_str());
  }

  std::string Write(std::FILE* output) override {
    cairo_surface_flush(surface_);
    cairo_status_t status = cairo_surface_write_to_png_stream(
        surface_,
        [](void* stream, const unsigned char* data, unsigned int length) {
          return std::fwrite(data, 1, length, static_cast<std::FILE*>(stream)) == length
                     ? CAIRO_STATUS_SUCCESS
                     : CAIRO_STATUS_WRITE_ERROR;
        },
        output);
    if (status != CAIRO_STATUS_SUCCESS) return cairo_status_to_string(status);
    return {};
  }

 private:
  void Colour(PlotColour colour, double opacity) {
    cairo_set_source_rgba(cairo_, colour.R / 255.0, colour.G / 255.0, colour.B / 255.0, opacity);
  }

  cairo_surface_t* surface_;
  cairo_t* cairo_;
};

std::string LowerExtension(const std::string& path) {
  std::size_t slash = path.rfind('/');
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

}  // namespace

std::unique_ptr<PlotCanvas> CanvasFor(const std::string& path, int width, int height,
                                      std::string& error) {
  std::string extension = LowerExtension(path);
  if (path == "-" || extension == ".svg") return std::make_unique<SvgCanvas>(width, height);
  if (extension == ".png") return std::make_unique<PngCanvas>(width, height);
  error = "cannot tell the picture's format from " + path +
          " (name it .svg or .png; - writes SVG to standard output)";
  return nullptr;
}
