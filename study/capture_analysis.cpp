// A capture's runs and decoder events in, a diagnosis as text or JSON out.
#include "study/capture_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "decoder/cell_count.h"
#include "study/counted_noun.h"
#include "study/text_escape.h"

namespace {

constexpr int BarWidth = 50;
constexpr double TimingTolerancePercent = 1;
// The fit looks for cell lengths up to this far off; beyond, it cannot tell.
constexpr double MostOffsetFoundPercent = 8;
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

void CaptureAnalysis::OnRuns(const std::int32_t* durations, std::size_t count) {
  // Idle runs not yet placed lie before every sync still to come.
  for (; idlePlaced_ < idleRuns_.size(); ++idlePlaced_) idleCells_ += idleRuns_[idlePlaced_].Cells;
  idleRuns_.clear();
  idlePlaced_ = 0;
  syncsInBlock_ = 0;
  runs_ += count;
  std::int64_t units = 0;
  bool idle = false;
  for (std::size_t i = 0; i < count; ++i) {
    std::int32_t duration = durations[i];
    units += duration;
    idle |= duration > IdleUnits;
    auto index = static_cast<std::uint32_t>(duration);
    if (index < CountedDurations) {
      ++durations_[index];
    } else if (duration < 0) {
      // -3 to -1 round to 0 cells, like 0 itself; the rest are negative counts.
      ++(CellsFromDuration(duration) < 0 ? negativeRuns_ : durations_[0]);
    } else {
      ++longRuns_;  // more cells than any bar shows
    }
  }
  units_ += units;
  if (!idle) return;
  // Rare: place each idle run by the sync runs before it, so OnSync knows which gap it is in.
  std::size_t syncRuns = 0;
  for (std::size_t i = 0; i < count; ++i) {
    std::int32_t cells = CellsFromDuration(durations[i]);
    if (cells == SyncCells) ++syncRuns;
    if (durations[i] > IdleUnits) idleRuns_.push_back({syncRuns, static_cast<double>(cells)});
  }
}

CaptureAnalysis::CellHistogram CaptureAnalysis::Cells() const {
  CellHistogram cells{};
  for (std::size_t d = 0; d < CountedDurations; ++d) {
    cells[static_cast<std::size_t>(std::min<int>(CellTable[d], LongestBar + 1))] += durations_[d];
  }
  cells[LongestBar + 1] += longRuns_;
  return cells;
}

std::array<std::uint64_t, CaptureAnalysis::ErrorBuckets> CaptureAnalysis::TimingErrors() const {
  std::array<std::uint64_t, ErrorBuckets> errors{};
  for (std::size_t d = 1; d < CountedDurations; ++d) {
    int cells = CellTable[d];
    if (cells < 1 || cells > LongestBar) continue;
    double error = static_cast<double>(d) / UnitsPerCell - cells;  // -0.5 to +0.5 of a cell
    int bucket = static_cast<int>(std::floor((error + 0.5) * ErrorBuckets));
    errors[static_cast<std::size_t>(std::clamp(bucket, 0, ErrorBuckets - 1))] += durations_[d];
  }
  return errors;
}

CellLengthFit CaptureAnalysis::Fit() const {
  CellLengthFit fit;
  for (std::size_t d = 1; d < CountedDurations; ++d) {
    fit.Add(static_cast<std::int32_t>(d), durations_[d]);
  }
  return fit;
}

void CaptureAnalysis::OnSync(double ms) {
  ++syncsInBlock_;
  double idle = idleCells_;
  idleCells_ = 0;
  for (; idlePlaced_ < idleRuns_.size() && idleRuns_[idlePlaced_].SyncsBefore < syncsInBlock_;
       ++idlePlaced_) {
    idle += idleRuns_[idlePlaced_].Cells;
  }
  if (syncs_ > 0) {
    // Only the time the transmitter was on counts towards frames that may have been lost.
    double cells = std::round((ms - lastSyncMs_) / MillisecondsPerCell - idle);
    if (cells >= 0 && cells < static_cast<double>(syncGaps_.size())) {
      ++syncGaps_[static_cast<std::size_t>(cells)];
    } else if (cells >= 0) {
      longGapCells_ += cells;
      ++longGaps_;
    }
  }
  lastSyncMs_ = ms;
  ++syncs_;
}

std::uint64_t CaptureAnalysis::FramesMissing() const {
  // The frame period is the commonest spacing of syncs; a gap of about k periods lost k - 1
  // frames whose syncs were never seen.
  std::size_t period = 0;
  for (std::size_t cells = ShortestFrameCells; cells < syncGaps_.size(); ++cells) {
    if (syncGaps_[cells] > syncGaps_[period]) period = cells;
  }
  if (period == 0) return 0;
  auto framesIn = [period](double cells) {
    return std::round(cells / static_cast<double>(period));
  };
  double missing = 0;
  for (std::size_t cells = period + period / 2; cells < syncGaps_.size(); ++cells) {
    missing += static_cast<double>(syncGaps_[cells]) * (framesIn(static_cast<double>(cells)) - 1);
  }
  if (longGaps_ > 0) missing += framesIn(longGapCells_) - static_cast<double>(longGaps_);
  return missing > 0 && missing < 1e18 ? static_cast<std::uint64_t>(missing) : 0;
}

void CaptureAnalysis::OnGroup(std::uint32_t groupIndex, const GroupFields& fields) {
  auxMismatches_ += fields.Aux != ExpectedAux[groupIndex];
  eccSearch_.Add(fields);
  if (checkedCode_) eccFailures_ += !FitsCode(*checkedCode_, fields);
}

const EccSearchResult& CaptureAnalysis::Ecc() const {
  if (!ecc_) ecc_ = eccSearch_.Solve();
  return *ecc_;
}

std::string CaptureAnalysis::EccReport() const {
  const EccSearchResult& ecc = Ecc();
  auto n = [](std::uint64_t value) { return static_cast<unsigned long long>(value); };
  if (ecc.Groups == 0) return "no groups to find it from";
  if (!ecc.Varied()) {
    return Printf(
        "the groups vary too little to pin the code (%d of 16 data bits never change, %llu "
        "different groups); over what was seen, an affine code fits %llu of %llu groups",
        ecc.SteadyDataBits, n(ecc.DistinctWords), n(ecc.Fitting), n(ecc.Groups));
  }
  if (!ecc.Found()) {
    return Printf(
        "the ecc fields fit no affine code of the data bits (the best fits %llu of %llu "
        "groups)",
        n(ecc.Fitting), n(ecc.Groups));
  }
  std::string report = Printf("one affine code of the data bits fits %llu of %llu groups",
                              n(ecc.Fitting), n(ecc.Groups));
  if (!ecc.Pinned()) {
    report += Printf(" (pinned only where they vary: %d of 16 data bits never change)",
                     ecc.SteadyDataBits);
  }
  return report;
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
  return static_cast<double>(units_) / UnitsPerSecond;
}

std::string CaptureAnalysis::Verdict() const {
  if (runs_ == 0) return "The capture is empty.";
  const CellLengthFit fit = Fit();
  double off = fit.PercentOffNominal();
  if (syncs_ == 0 && fit.HasData() && std::abs(off) > TimingTolerancePercent &&
      std::abs(off) <= MostOffsetFoundPercent) {
    // Far enough off that an 18-cell sync no longer rounds to 18: the runs still tell how far.
    return Printf(
        "No sync run was found: the timing is %.1f percent %s (cells measure %.3f units against "
        "6.623); import again with --scale %.4f.",
        std::abs(off), off > 0 ? "slow" : "fast", fit.MeasuredUnitsPerCell(), fit.ClockFactor());
  }
  if (syncs_ == 0) {
    return Printf(
        "No sync run was found: this is not a capture of this signal, or its timing is far off "
        "(cells measure %.3f units against 6.623).",
        fit.MeasuredUnitsPerCell());
  }
  std::string verdict;
  if (std::abs(off) > TimingTolerancePercent) {
    verdict += Printf("The timing is %.1f percent %s; import again with --scale %.4f. ",
                      std::abs(off), off > 0 ? "slow" : "fast", fit.ClockFactor());
  }
  const std::uint64_t missing = FramesMissing();
  const std::uint64_t sent = syncs_ + missing;
  const std::uint64_t lost = sent - std::min(sent, frames_);
  double lostPercent = 100.0 * static_cast<double>(lost) / static_cast<double>(sent);
  if (!verdict.empty() && lost > 0) {
    verdict += Printf("%.0f percent of the frames found were lost, most likely for that reason. ",
                      lostPercent);
  } else if (lostPercent > NoisyLossPercent && missing > invalidWords_ + unknownTypes_) {
    // Idle time is already left out: these syncs went missing while the transmitter was on.
    verdict += Printf(
        "%.0f percent of frames were lost, %llu of them missing from the stream altogether "
        "(their syncs never came: dropouts, or runs merged or split). ",
        lostPercent, static_cast<unsigned long long>(missing));
  } else if (lostPercent > NoisyLossPercent) {
    verdict += Printf(
        "%.0f percent of frames were lost (%s, %s); "
        "the recording is probably too noisy. ",
        lostPercent, Counted(invalidWords_, "invalid code word").c_str(),
        Counted(unknownTypes_, "unknown frame type").c_str());
  } else if (lost > 0) {
    verdict += Printf("%llu of %s %s lost", static_cast<unsigned long long>(lost),
                      Counted(sent, "frame").c_str(), lost == 1 ? "was" : "were");
    verdict += missing > 0 ? Printf(" (%llu of them missing from the stream altogether). ",
                                    static_cast<unsigned long long>(missing))
                           : std::string(". ");
  }
  if (auxMismatches_ > 0) {
    verdict += Printf(
        "%s the aux check. ",
        (Counted(auxMismatches_, "group") + (auxMismatches_ == 1 ? " fails" : " fail")).c_str());
  }
  if (eccFailures_ > 0) {
    verdict +=
        Printf("%llu groups fail the ecc code. ", static_cast<unsigned long long>(eccFailures_));
  }
  if (const EccSearchResult& ecc = Ecc(); ecc.Varied() && !ecc.Found() && !checkedCode_) {
    verdict += "The ecc fields fit no affine code of the other 16 bits of their groups. ";
  }
  if (verdict.empty()) {
    return Printf("The capture decodes cleanly: %s, none lost.", Counted(frames_, "frame").c_str());
  }
  verdict.pop_back();
  return verdict;
}

std::string CaptureAnalysis::Text() const {
  const CellHistogram cellHistogram = Cells();
  const auto errorHistogram = TimingErrors();
  const CellLengthFit fit = Fit();
  std::string text = "Run lengths (cells):\n";
  std::uint64_t largest = *std::max_element(cellHistogram.begin(), cellHistogram.end());
  for (int cells = 0; cells <= LongestBar + 1; ++cells) {
    std::uint64_t count = cellHistogram[static_cast<std::size_t>(cells)];
    if (count == 0) continue;
    std::string label =
        cells <= LongestBar ? std::to_string(cells) : ">" + std::to_string(LongestBar);
    text += Printf("  %4s %10llu %s\n", label.c_str(), static_cast<unsigned long long>(count),
                   Bar(count, largest).c_str());
  }
  if (negativeRuns_ > 0)
    text += Printf("  negative durations: %llu\n", static_cast<unsigned long long>(negativeRuns_));

  text += "Timing error (percent of a cell, runs of 1 to 30 cells):\n";
  largest = *std::max_element(errorHistogram.begin(), errorHistogram.end());
  for (int b = 0; b < ErrorBuckets; ++b) {
    int from = -50 + 5 * b;
    text += Printf("  %+4d..%+4d %10llu %s\n", from, from + 5,
                   static_cast<unsigned long long>(errorHistogram[static_cast<std::size_t>(b)]),
                   Bar(errorHistogram[static_cast<std::size_t>(b)], largest).c_str());
  }
  text += Printf("Cell length: %.4f units (nominal 6.623, %+.2f%%)", fit.MeasuredUnitsPerCell(),
                 fit.PercentOffNominal());
  if (std::abs(fit.PercentOffNominal()) > TimingTolerancePercent) {
    text += Printf("; import again with --scale %.4f", fit.ClockFactor());
  }
  text += "\n";
  text += Printf("Runs: %llu, %.3f s\n", static_cast<unsigned long long>(runs_), Seconds());
  text += Printf("Syncs: %llu\nFrames complete: %llu\nFrames cut short: %llu\n",
                 static_cast<unsigned long long>(syncs_), static_cast<unsigned long long>(frames_),
                 static_cast<unsigned long long>(FramesCutShort()));
  text += Printf("Frames missing: %llu\n", static_cast<unsigned long long>(FramesMissing()));
  text += Printf("Invalid code words: %llu\nUnknown frame types: %llu\naux mismatches: %llu\n",
                 static_cast<unsigned long long>(invalidWords_),
                 static_cast<unsigned long long>(unknownTypes_),
                 static_cast<unsigned long long>(auxMismatches_));
  text += "ecc code: " + EccReport() + "\n";
  if (checkedCode_) {
    text += Printf("Groups failing the ecc code: %llu\n",
                   static_cast<unsigned long long>(eccFailures_));
  }
  text += Printf("Frame rate: %.2f frames/s\n",
                 Seconds() > 0 ? static_cast<double>(frames_) / Seconds() : 0.0);
  return text + "Verdict: " + Verdict() + "\n";
}

std::string CaptureAnalysis::EccJson() const {
  const EccSearchResult& ecc = Ecc();
  std::string masks;
  for (std::uint32_t mask : ecc.Code.Masks) {
    if (!masks.empty()) masks += ',';
    masks += std::to_string(mask);
  }
  std::string json = "{\"groups\":" + std::to_string(ecc.Groups) +
                     ",\"fitting\":" + std::to_string(ecc.Fitting) +
                     ",\"different_groups\":" + std::to_string(ecc.DistinctWords) +
                     ",\"steady_data_bits\":" + std::to_string(ecc.SteadyDataBits) +
                     ",\"pinned\":" + (ecc.Pinned() ? "true" : "false") +
                     ",\"found\":" + (ecc.Found() ? "true" : "false") + ",\"masks\":[" + masks +
                     "],\"constants\":" + std::to_string(ecc.Code.Constants);
  if (checkedCode_) json += ",\"failing_given_code\":" + std::to_string(eccFailures_);
  return json + ",\"report\":" + JsonString(EccReport()) + "}";
}

std::string CaptureAnalysis::Json(const std::string& name) const {
  const CellHistogram cellHistogram = Cells();
  const auto errorHistogram = TimingErrors();
  const CellLengthFit fit = Fit();
  std::string cells = "{";
  for (int c = 0; c <= LongestBar + 1; ++c) {
    if (cellHistogram[static_cast<std::size_t>(c)] == 0) continue;
    std::string label = c <= LongestBar ? std::to_string(c) : ">" + std::to_string(LongestBar);
    if (cells.size() > 1) cells += ',';
    cells += JsonString(label);
    cells += ':';
    cells += std::to_string(cellHistogram[static_cast<std::size_t>(c)]);
  }
  cells += "}";
  std::string errors = "[";
  for (int b = 0; b < ErrorBuckets; ++b) {
    errors += Printf("%s{\"from_percent\":%d,\"to_percent\":%d,\"runs\":%llu}", b ? "," : "",
                     -50 + 5 * b, -45 + 5 * b,
                     static_cast<unsigned long long>(errorHistogram[static_cast<std::size_t>(b)]));
  }
  errors += "]";
  return "{\"capture\":" + JsonString(name) + ",\"runs\":" + std::to_string(runs_) +
         Printf(",\"seconds\":%.6f", Seconds()) +
         ",\"negative_runs\":" + std::to_string(negativeRuns_) + ",\"run_cells\":" + cells +
         ",\"timing_error\":" + errors +
         Printf(",\"cell_units\":%.6f,\"cell_percent_off\":%.4f,\"scale\":%.6f",
                fit.MeasuredUnitsPerCell(), fit.PercentOffNominal(), fit.ClockFactor()) +
         ",\"syncs\":" + std::to_string(syncs_) +
         ",\"frames_complete\":" + std::to_string(frames_) +
         ",\"frames_cut_short\":" + std::to_string(FramesCutShort()) +
         ",\"frames_missing\":" + std::to_string(FramesMissing()) +
         ",\"invalid_code_words\":" + std::to_string(invalidWords_) +
         ",\"unknown_frame_types\":" + std::to_string(unknownTypes_) +
         ",\"aux_mismatches\":" + std::to_string(auxMismatches_) + ",\"ecc\":" + EccJson() +
         Printf(",\"frame_rate\":%.4f",
                Seconds() > 0 ? static_cast<double>(frames_) / Seconds() : 0.0) +
         ",\"verdict\":" + JsonString(Verdict()) + "}\n";
}
