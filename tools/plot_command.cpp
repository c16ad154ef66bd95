// MorvantisCapture plot: options in, a picture of the capture (SVG or PNG) out.
#include "tools/plot_command.h"

#include <cstdio>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>

#include "files/file_identity.h"
#include "files/file_name_check.h"
#include "files/output_file.h"
#include "sources/signal_source.h"
#include "study/plot_picture.h"
#include "tools/command_support.h"
#include "tools/source_options.h"

namespace {

constexpr const char* Command = "plot";

struct PlotOptions {
  SourceOptions source;
  std::string output;
  std::string channels;
  double from = 0;
  std::optional<double> to;
  int width = 1200;
  int height = 800;
};

// "1,3,5" to the channels it names. Returns an error text.
std::string ParseChannels(const std::string& text, std::array<bool, ChannelCount>& channels) {
  if (text.empty()) return {};
  channels.fill(false);
  std::stringstream list(text);
  std::string item;
  while (std::getline(list, item, ',')) {
    if (item.size() != 1 || item[0] < '1' || item[0] > '8')
      return "--lanes takes channel numbers 1 to 8 separated by commas, not \"" + item + "\"";
    channels[static_cast<std::size_t>(item[0] - '1')] = true;
  }
  return {};
}

int RunPlot(const PlotOptions& options) {
  PlotLook look;
  look.Width = options.width;
  look.Height = options.height;
  look.Title = SourceName(options.source);
  if (std::string error = ParseChannels(options.channels, look.Channels); !error.empty())
    return Usage(Command, error);
  if (options.to && *options.to <= options.from)
    return Usage(Command, "--to must come after --from");
  std::string error;
  std::unique_ptr<PlotCanvas> canvas = CanvasFor(options.output, look.Width, look.Height, error);
  if (!canvas) return Usage(Command, error);  // the only refusal: a name of no known kind
  if (error = CheckSource(Command, options.source); !error.empty()) return Usage(Command, error);
  std::vector<std::string> inputs;
  if (!options.source.Input.empty()) inputs.push_back(options.source.Input);
  if (error = RefuseCollisions(inputs, {options.output}); !error.empty())
    return Fail(Command, error);

  // One pass over the input, so a pipe or a FIFO works like a file.
  PlotColumns columns(static_cast<std::size_t>(PlotAreaWidth(look.Width)), options.from * 1000,
                      options.to ? *options.to * 1000 : std::numeric_limits<double>::infinity());
  SourceReport report;
  if (error = PlaySource(options.source, columns, report); !error.empty())
    return Fail(Command, error);
  if (options.from > 0 && options.from * 1000 >= columns.CaptureEndMs()) {
    char said[160];
    std::snprintf(said, sizeof said, " ends at %.1f s; --from %g is past it",
                  columns.CaptureEndMs() / 1000, options.from);
    return Fail(Command, look.Title + said);
  }
  OutputFile file;
  if (error = file.Open(options.output); !error.empty()) return Fail(Command, error);
  DrawPlot(columns, look, *canvas);
  if (error = canvas->Write(file.Stream()); !error.empty())
    return Fail(Command, "cannot write " + file.Name() + ": " + error);
  if (error = file.Commit(); !error.empty()) return Fail(Command, error);
  return ExitOk;
}

}  // namespace

void AddPlotCommand(CLI::App& app, int& exitCode) {
  auto options = std::make_shared<PlotOptions>();
  CLI::App* command =
      app.add_subcommand("plot", "Draw the channel positions of a capture (SVG or PNG)");
  command->footer(
      "Examples:\n"
      "  MorvantisCapture plot recording.cap -o recording.svg\n"
      "  MorvantisCapture plot recording.cap -o recording.png --lanes 1,3 --from 10 --to 20\n"
      "  MorvantisCapture import take.wav -o - | MorvantisCapture plot - -o take.svg\n"
      "\n"
      "One lane per channel with its position over time as steps (a channel holds its value\n"
      "until the next frame that carries it) against a value axis from 0 to 1023, red marks\n"
      "where frames were lost, a legend, and a time axis in ms, s, min or h. The picture is\n"
      "thinned to its pixel columns, so a capture of any length gives a small file. The format\n"
      "follows the name: .svg or .png (- writes SVG to standard output).");
  AddSourceOptions(command, options->source);
  command->add_option("-o,--output", options->output, "Picture to write: .svg, .png or -")
      ->required()
      ->check(FileName());
  command->add_option("--lanes", options->channels, "Channels to draw, e.g. 1,3,5 (default all)");
  command->add_option("--from", options->from, "Start of the picture in seconds (default 0)")
      ->check(NumberIn(0, 1e9));
  command->add_option("--to", options->to, "End of the picture in seconds (default the end)")
      ->check(NumberIn(0, 1e9));
  command->add_option("--width", options->width, "Width in pixels (default 1200)")
      ->check(WholeNumberIn(300, 20000));
  command->add_option("--height", options->height, "Height in pixels (default 800)")
      ->check(WholeNumberIn(200, 20000));
  command->callback([options, &exitCode] { exitCode = RunPlot(*options); });
}
