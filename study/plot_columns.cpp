// Frames in, columns of time with each channel's positions and the frames lost out.
#include "study/plot_columns.h"

#include <algorithm>
#include <cmath>

namespace {

// Columns never get wider than this (over 30 years of capture across a thousand columns).
constexpr double WidestColumnMs = 1e12;

PlotColumns::Cell Merge(const PlotColumns::Cell& a, const PlotColumns::Cell& b) {
  if (a.First < 0) return b;
  if (b.First < 0) return a;
  return {a.First, b.Last, std::min(a.Low, b.Low), std::max(a.High, b.High)};
}

}  // namespace

PlotColumns::PlotColumns(std::size_t columns, double fromMs, double toMs)
    : fromMs_(std::max(0.0, fromMs)), toMs_(toMs), lost_(columns, 0) {
  for (auto& lane : lanes_) lane.resize(columns);
  if (std::isfinite(toMs_) && toMs_ > fromMs_) Reach(toMs_ - 1e-9);
}

void PlotColumns::Reach(double ms) {
  const std::size_t columns = lost_.size();
  while (ms - fromMs_ >= columnMs_ * static_cast<double>(columns) && columnMs_ < WidestColumnMs) {
    for (auto& lane : lanes_) {
      for (std::size_t c = 0; c < columns; ++c) {
        lane[c] = 2 * c + 1 < columns ? Merge(lane[2 * c], lane[2 * c + 1])
                  : 2 * c < columns   ? lane[2 * c]
                                      : Cell{};
      }
    }
    for (std::size_t c = 0; c < columns; ++c) {
      lost_[c] =
          (2 * c < columns ? lost_[2 * c] : 0) + (2 * c + 1 < columns ? lost_[2 * c + 1] : 0);
    }
    columnMs_ *= 2;
  }
}

std::size_t PlotColumns::ColumnOf(double ms) {
  if (!(ms >= fromMs_) || ms >= toMs_) return Columns();
  Reach(ms);
  double column = std::floor((ms - fromMs_) / columnMs_);
  return column < static_cast<double>(Columns()) ? static_cast<std::size_t>(column) : Columns();
}

void PlotColumns::OnRuns(const std::int32_t* durations, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) units_ += durations[i];
  double ms = static_cast<double>(units_) / UnitsPerSecond * 1000;
  if (ms < toMs_) Reach(ms);
}

void PlotColumns::OnFrame(const DecodedFrame& frame) {
  std::size_t column = ColumnOf(frame.EndMs);
  if (column == Columns()) return;
  ++frames_;
  for (std::size_t channel = 1; channel <= ChannelCount; ++channel) {
    const int position = frame.Positions[channel];
    if (position < 0) continue;
    lanes_[channel - 1][column] =
        Merge(lanes_[channel - 1][column], {position, position, position, position});
  }
}

void PlotColumns::OnLostFrame(double ms, FrameLoss) {
  std::size_t column = ColumnOf(ms);
  if (column == Columns()) return;
  ++framesLost_;
  if (lost_[column] < UINT32_MAX) ++lost_[column];
}

double PlotColumns::CaptureEndMs() const {
  return static_cast<double>(units_) / UnitsPerSecond * 1000;
}

double PlotColumns::EndMs() const {
  return std::max(fromMs_, std::min(CaptureEndMs(), toMs_));
}
