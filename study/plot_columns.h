// Decoded frames thinned to columns of time, for pictures. In: the capture's runs (for its
// length), each complete frame's positions and each lost frame's time. Out: for every column of
// time and every channel, the first, last, lowest and highest position carried in it, and the
// frames lost in it; the frames drawn and lost counted over the picture's time only. Whenever the
// capture outgrows the columns their width doubles (neighbours merge), so one pass is enough and
// memory stays fixed however long the capture.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "study/decode_session.h"

class PlotColumns : public DecodeObserver {
 public:
  struct Cell {
    int First = -1, Last = -1, Low = -1, High = -1;  // -1: no position in this column
  };

  // `columns` columns covering the time from `fromMs` (to `toMs`, when the picture is cut).
  explicit PlotColumns(std::size_t columns, double fromMs = 0,
                       double toMs = std::numeric_limits<double>::infinity());

  void OnRuns(const std::int32_t* durations, std::size_t count) override;
  void OnFrame(const DecodedFrame& frame) override;
  void OnLostFrame(double ms, FrameLoss why) override;

  std::size_t Columns() const { return lost_.size(); }
  const Cell& At(std::size_t channel, std::size_t column) const { return lanes_[channel][column]; }
  std::uint32_t LostAt(std::size_t column) const { return lost_[column]; }

  // The time the columns start at and how long each is.
  double FromMs() const { return fromMs_; }
  double ColumnMs() const { return columnMs_; }
  // Where the picture ends: the capture's end, or `toMs` if sooner.
  double EndMs() const;

  // The capture's own end, wherever the picture is cut.
  double CaptureEndMs() const;

  // Frames drawn and frames lost within the picture's time.
  std::uint64_t Frames() const { return frames_; }
  std::uint64_t FramesLost() const { return framesLost_; }

 private:
  // Widens the columns until `ms` falls inside them.
  void Reach(double ms);
  // The column of `ms`, or Columns() when it lies outside the picture.
  std::size_t ColumnOf(double ms);

  double fromMs_, toMs_;
  double columnMs_ = 1;  // starts at a millisecond and doubles as needed
  std::array<std::vector<Cell>, ChannelCount> lanes_;
  std::vector<std::uint32_t> lost_;
  std::int64_t units_ = 0;  // the capture's length so far
  std::uint64_t frames_ = 0, framesLost_ = 0;
};
