// What an import found in, the import's closing report out.
#include <cmath>
#include <cstdio>

#include "common/signal_layout.h"
#include "import/import_request.h"

namespace {

// Further off than this, the summary says which --scale to import with.
constexpr double TimingTolerancePercent = 1;

std::string Printf(const char* format, auto... values) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, values...);
  return buffer;
}

}  // namespace

std::string ImportSummaryText(const ImportRequest& request, const std::string& outputName,
                              const ImportSummary& summary) {
  std::string text = (!request.Audio.Device.empty() ? request.Audio.Device
                      : request.Input == "-"        ? std::string("standard input")
                                                    : request.Input) +
                     ": " + summary.Format;
  if (summary.Rate > 0) {
    text += Printf(", %.0f Hz, %d channel%s", summary.Rate, summary.Channels,
                   summary.Channels == 1 ? "" : "s");
  }
  text += Printf(", %.3f s\n", summary.Seconds);
  if (summary.Rate > 0) {
    text += Printf("levels high %.3f, low %.3f\n", summary.HighLevel, summary.LowLevel);
  }
  text +=
      Printf("%llu runs -> ", static_cast<unsigned long long>(summary.Runs)) + outputName + "\n";
  if (summary.MeasuredUnitsPerCell > 0) {
    // Audio: the receiver's clock measured the cells and wrote them at the nominal length.
    double off = (summary.MeasuredUnitsPerCell / UnitsPerCell - 1) * 100;
    text += Printf("cell length %.3f units as recorded (nominal %.3f, %+.2f%%)",
                   summary.MeasuredUnitsPerCell, UnitsPerCell, off);
    text += summary.TimingTracked
                ? Printf("; written at the nominal length, as --scale %.4f would\n",
                         summary.MeasuredUnitsPerCell / UnitsPerCell)
                : std::string(" with --scale\n");
  } else if (summary.Fit.HasData()) {
    text +=
        Printf("cell length %.3f units (nominal %.3f, %+.2f%%)\n",
               summary.Fit.MeasuredUnitsPerCell(), UnitsPerCell, summary.Fit.PercentOffNominal());
    if (std::abs(summary.Fit.PercentOffNominal()) > TimingTolerancePercent) {
      text += Printf("the timing is off; import again with --scale %.4f\n",
                     request.Scale.value_or(1) * summary.Fit.ClockFactor());
    }
  }
  if (summary.SamplesNotNumbers > 0) {
    text += Printf("%llu samples were not numbers (NaN); each took the value before it\n",
                   static_cast<unsigned long long>(summary.SamplesNotNumbers));
  }
  if (summary.SamplesClipped > 0) {
    text += Printf("%llu samples were beyond full scale and were clipped to it\n",
                   static_cast<unsigned long long>(summary.SamplesClipped));
  }
  if (summary.Overruns > 0) {
    text += Printf(
        "the sound card's buffer overran %llu times (the reader fell behind); audio was "
        "lost there\n",
        static_cast<unsigned long long>(summary.Overruns));
  }
  if (summary.EndedBySignal) text += "ended by a signal; every whole run is kept\n";
  if (summary.RunsClamped > 0) {
    text += Printf("%llu idle stretches were longer than a capture run holds and were shortened\n",
                   static_cast<unsigned long long>(summary.RunsClamped));
  }
  return text;
}
