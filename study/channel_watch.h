// What a person watching the channels needs to know, kept up to date as a capture decodes. In:
// the decode session's runs, frames, lost and doubtful frames. Out: each channel's latest position
// and delta and when they came, frames and losses over the last second of signal and in total, the
// signal time, the cell length measured, and a plain one-line status.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "study/decode_session.h"
#include "study/percent_units.h"
#include "timing/cell_length_fit.h"

struct WatchedChannel {
  int Position = -1;       // the latest position, 0 to 1023; -1 before the first
  double PositionMs = -1;  // when it came, in signal time
  int Delta = -1;          // the latest delta, 0 to 15 (8: unchanged); -1 before the first
  double DeltaMs = -1;
};

// Frames seen and lost, counted in tenths of a second of signal time so the last second can be
// told apart from the rest.
struct FrameCounts {
  std::uint64_t Frames = 0;
  std::uint64_t Lost = 0;      // invalid code words, unknown frame types, frames not trusted
  std::uint64_t Doubtful = 0;  // of those, complete frames not trusted (see decode_session.h)
  double LostPercent() const;
};

// Tenths of a percent to whole percent, halves away from zero.
int RoundedPercent(int tenths);

class ChannelWatch : public DecodeObserver {
 public:
  void OnRuns(const std::int32_t* durations, std::size_t count) override;
  void OnFrame(const DecodedFrame& frame) override;
  void OnLostFrame(double ms, FrameLoss why) override;
  void OnDoubtfulFrame(const DecodedFrame& frame, FrameDoubt why) override;

  const WatchedChannel& Channel(int channel) const { return channels_[channel - 1]; }
  // Shows positions as percent too (the status line; Percent).
  void ShowPercent(PercentTenths percent) { percent_ = std::move(percent); }
  bool ShowsPercent() const { return static_cast<bool>(percent_); }
  // A channel's latest position in tenths of a percent, when percent is shown and the channel
  // has a calibration and a position.
  std::optional<int> Percent(int channel) const;
  FrameCounts Total() const { return total_; }
  // Frames and losses in the last whole second of signal time before `nowMs`: the ten whole
  // tenths of a second before the one it falls in (0 when none came in them).
  FrameCounts LastSecond(double nowMs) const;
  double SignalMs() const { return signalMs_; }
  double FrameEndMs() const { return frameEndMs_; }
  // The cell length in the runs so far (units), and whether there are runs to tell it from.
  double MeasuredUnitsPerCell() const { return fit_.MeasuredUnitsPerCell(); }
  bool HasTiming() const { return fit_.HasData(); }

  // One line: the time given, the eight channels' latest positions, frames per second (in the
  // second before that time), losses (and how many were doubtful frames, when any were).
  std::string StatusLine(double ms) const;

 private:
  void Count(double ms, bool lost, bool doubtful = false);

  // The tenths of a second of the last whole second, and the tenth still being counted.
  static constexpr int Tenths = 11;
  std::array<WatchedChannel, 8> channels_{};
  FrameCounts total_;
  std::array<FrameCounts, Tenths> recent_{};        // by tenth of a second, round robin
  std::array<std::int64_t, Tenths> recentTenth_{};  // which tenth each slot holds
  double signalMs_ = 0, frameEndMs_ = 0;
  double unitsSoFar_ = 0;
  CellLengthFit fit_;
  PercentTenths percent_;
};
