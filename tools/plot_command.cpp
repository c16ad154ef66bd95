// MorvantisCapture plot: options in, a picture file out.
#include "tools/plot_command.h"

#include <cstdio>
#include <memory>

#include "common/capture_records.h"
#include "common/signal_layout.h"
#include "files/output_file.h"
#include "study/svg_plot.h"
#include "tools/command_support.h"

namespace {

constexpr const char* Command = "plot";

struct PlotOptions {
  std::string capture;
  std::string output;
};

// The capture's length, read before decoding so the picture's time axis is known.
bool CaptureSeconds(const std::string& path, double& seconds) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  double units = 0;
  CaptureReadResult result =
      ReadCaptureBlocks(file, [&units](const std::int32_t* runs, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) units += runs[i];
        return true;
      });
  std::fclose(file);
  seconds = units / UnitsPerSecond;
  return result == CaptureReadResult::Complete;
}

int RunPlot(const PlotOptions& options) {
  double seconds = 0;
  if (!CaptureSeconds(options.capture, seconds))
    return Fail(Command, "cannot read " + options.capture);
  SvgPlot plot(options.capture, seconds);
  if (std::string error = DecodeCaptureFile(options.capture, plot); !error.empty())
    return Fail(Command, error);
  AtomicFile file;
  if (std::string error = file.Open(options.output); !error.empty()) return Fail(Command, error);
  std::string svg = plot.Svg();
  std::fwrite(svg.data(), 1, svg.size(), file.Stream());
  if (std::string error = file.Commit(); !error.empty()) return Fail(Command, error);
  return ExitOk;
}

}  // namespace

void AddPlotCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<PlotOptions>();
  CLI::App* command =
      app.add_subcommand("plot", "Draw the channel positions of a capture as an SVG picture");
  command->footer(
      "Example:\n"
      "  MorvantisCapture plot recording.cap -o recording.svg\n"
      "\n"
      "One lane per channel with its position over time (0 at the bottom, 1023 at the top),\n"
      "time in seconds along the bottom, red marks where frames were lost. Points are thinned\n"
      "to the picture's 1000 pixel columns, so the file stays small for long captures.");
  command->add_option("capture", options->capture, "Capture file")->required();
  command->add_option("-o,--output", options->output, "SVG file to write")->required();
  command->callback([options, &exitCode] { exitCode = RunPlot(*options); });
}
