#include "capture/capture_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "capture/json_text.h"
#include "capture/synthesizer.h"

namespace {

constexpr int BarWidth = 50;
constexpr double TimingTolerancePercent = 1;
constexpr double NoisyLossPercent = 5;

std::string Printf(const char* format, auto... values) {
  char buffer[256];
  std::snprintf(buffer, sizeof buffer, format, values...);
  return buffer;
}

std::string Bar(std::uint64_t count, std::uint64_t largest) {
  if (largest == 0) return "";
  auto length = static_cast<int>(
      std::ceil(static_cast<double>(count) * BarWidth / static_cast<double>(largest)));
  return std::string(static_cast<std::size_t>(length), '#');
}

}  // namespace

void CaptureAnalysis::OnRun(std::int32_t duration, std::int32_t cells) {
  ++runs_;
  units_ += duration;
  if (cells < 0) {
    ++negativeRuns_;
    return;
  }
  ++cellHistogram_[static_cast<std::size_t>(std::min(cells, LongestBar + 1))];
  fit_.Add(duration);
  if (cells >= 1 && cells <= LongestBar) {
    double error = duration / UnitsPerCell - cells;  // -0.5 to +0.5 of a cell
    int bucket = static_cast<int>(std::floor((error + 0.5) * ErrorBuckets));
    ++errorHistogram_[static_cast<std::size_t>(std::clamp(bucket, 0, ErrorBuckets - 1))];
    ++timedRuns_;
  }
}

void CaptureAnalysis::OnSync(double) {
  ++syncs_;
}

void CaptureAnalysis::OnGroup(std::uint32_t groupIndex, const GroupFields& fields) {
  auxMismatches_ += fields.Aux != ExpectedAux[groupIndex];
}

void CaptureAnalysis::OnFrame(const DecodedFrame&) {
  ++frames_;
}

void CaptureAnalysis::OnLostFrame(double, FrameLoss why) {
  (why == FrameLoss::InvalidCodeWord ? invalidWords_ : unknownTypes_) += 1;
}

std::uint64_t CaptureAnalysis::FramesCutShort() const {
  std::uint64_t ended = frames_ + unknownTypes_;
  return syncs_ > ended ? syncs_ - ended : 0;
}

double CaptureAnalysis::Seconds() const {
  return units_ / UnitsPerSecond;
}

std::string CaptureAnalysis::Verdict() const {
  if (runs_ == 0) return "The capture is empty.";
  double off = fit_.PercentOffNominal();
  if (syncs_ == 0) {
    return Printf(
        "No sync run was found: this is not a capture of this signal, or its timing is far off "
        "(cells measure %.3f units against 6.623).",
        fit_.MeasuredUnitsPerCell());
  }
  std::string verdict;
  if (std::abs(off) > TimingTolerancePercent) {
    verdict += Printf("The timing is %.1f percent %s; import again with --scale %.4f. ",
                      std::abs(off), off > 0 ? "slow" : "fast", fit_.ScaleToNominal());
  }
  double lostPercent =
      100.0 * static_cast<double>(syncs_ - std::min(syncs_, frames_)) / static_cast<double>(syncs_);
  if (!verdict.empty() && syncs_ > frames_) {
    verdict += Printf("%.0f percent of the frames found were lost, most likely for that reason. ",
                      lostPercent);
  } else if (lostPercent > NoisyLossPercent) {
    verdict += Printf(
        "%.0f percent of frames were lost (%llu invalid code words, %llu unknown frame types); "
        "the recording is probably too noisy. ",
        lostPercent, static_cast<unsigned long long>(invalidWords_),
        static_cast<unsigned long long>(unknownTypes_));
  } else if (syncs_ > frames_) {
    verdict +=
        Printf("%llu of %llu frames were lost. ", static_cast<unsigned long long>(syncs_ - frames_),
               static_cast<unsigned long long>(syncs_));
  }
  if (auxMismatches_ > 0) {
    verdict +=
        Printf("%llu groups fail the aux check. ", static_cast<unsigned long long>(auxMismatches_));
  }
  if (verdict.empty()) {
    return Printf("The capture decodes cleanly: %llu frames, none lost.",
                  static_cast<unsigned long long>(frames_));
  }
  verdict.pop_back();
  return verdict;
}

std::string CaptureAnalysis::Text() const {
  std::string text = "Run lengths (cells):\n";
  std::uint64_t largest = *std::max_element(cellHistogram_.begin(), cellHistogram_.end());
  for (int cells = 0; cells <= LongestBar + 1; ++cells) {
    std::uint64_t count = cellHistogram_[static_cast<std::size_t>(cells)];
    if (count == 0) continue;
    std::string label =
        cells <= LongestBar ? std::to_string(cells) : ">" + std::to_string(LongestBar);
    text += Printf("  %4s %10llu %s\n", label.c_str(), static_cast<unsigned long long>(count),
                   Bar(count, largest).c_str());
  }
  if (negativeRuns_ > 0)
    text += Printf("  negative durations: %llu\n", static_cast<unsigned long long>(negativeRuns_));

  text += "Timing error (percent of a cell, runs of 1 to 30 cells):\n";
  largest = *std::max_element(errorHistogram_.begin(), errorHistogram_.end());
  for (int b = 0; b < ErrorBuckets; ++b) {
    int from = -50 + 5 * b;
    text += Printf("  %+4d..%+4d %10llu %s\n", from, from + 5,
                   static_cast<unsigned long long>(errorHistogram_[static_cast<std::size_t>(b)]),
                   Bar(errorHistogram_[static_cast<std::size_t>(b)], largest).c_str());
  }
  text += Printf("Cell length: %.4f units (nominal 6.623, %+.2f%%)", fit_.MeasuredUnitsPerCell(),
                 fit_.PercentOffNominal());
  if (std::abs(fit_.PercentOffNominal()) > TimingTolerancePercent) {
    text += Printf("; import again with --scale %.4f", fit_.ScaleToNominal());
  }
  text += "\n";
  text += Printf("Runs: %llu, %.3f s\n", static_cast<unsigned long long>(runs_), Seconds());
  text += Printf("Syncs: %llu\nFrames complete: %llu\nFrames cut short: %llu\n",
                 static_cast<unsigned long long>(syncs_), static_cast<unsigned long long>(frames_),
                 static_cast<unsigned long long>(FramesCutShort()));
  text += Printf("Invalid code words: %llu\nUnknown frame types: %llu\naux mismatches: %llu\n",
                 static_cast<unsigned long long>(invalidWords_),
                 static_cast<unsigned long long>(unknownTypes_),
                 static_cast<unsigned long long>(auxMismatches_));
  text += Printf("Frame rate: %.2f frames/s\n",
                 Seconds() > 0 ? static_cast<double>(frames_) / Seconds() : 0.0);
  return text + "Verdict: " + Verdict() + "\n";
}

std::string CaptureAnalysis::Json(const std::string& name) const {
  std::string cells = "{";
  for (int c = 0; c <= LongestBar + 1; ++c) {
    if (cellHistogram_[static_cast<std::size_t>(c)] == 0) continue;
    std::string label = c <= LongestBar ? std::to_string(c) : ">" + std::to_string(LongestBar);
    cells += (cells.size() > 1 ? "," : "") + JsonString(label) + ":" +
             std::to_string(cellHistogram_[static_cast<std::size_t>(c)]);
  }
  cells += "}";
  std::string errors = "[";
  for (int b = 0; b < ErrorBuckets; ++b) {
    errors += Printf("%s{\"from_percent\":%d,\"to_percent\":%d,\"runs\":%llu}", b ? "," : "",
                     -50 + 5 * b, -45 + 5 * b,
                     static_cast<unsigned long long>(errorHistogram_[static_cast<std::size_t>(b)]));
  }
  errors += "]";
  return "{\"capture\":" + JsonString(name) + ",\"runs\":" + std::to_string(runs_) +
         Printf(",\"seconds\":%.6f", Seconds()) +
         ",\"negative_runs\":" + std::to_string(negativeRuns_) + ",\"run_cells\":" + cells +
         ",\"timing_error\":" + errors +
         Printf(",\"cell_units\":%.6f,\"cell_percent_off\":%.4f,\"scale\":%.6f",
                fit_.MeasuredUnitsPerCell(), fit_.PercentOffNominal(), fit_.ScaleToNominal()) +
         ",\"syncs\":" + std::to_string(syncs_) +
         ",\"frames_complete\":" + std::to_string(frames_) +
         ",\"frames_cut_short\":" + std::to_string(FramesCutShort()) +
         ",\"invalid_code_words\":" + std::to_string(invalidWords_) +
         ",\"unknown_frame_types\":" + std::to_string(unknownTypes_) +
         ",\"aux_mismatches\":" + std::to_string(auxMismatches_) +
         Printf(",\"frame_rate\":%.4f",
                Seconds() > 0 ? static_cast<double>(frames_) / Seconds() : 0.0) +
         ",\"verdict\":" + JsonString(Verdict()) + "}\n";
}
