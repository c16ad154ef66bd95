// A picture of a capture: a self-contained SVG with one lane per channel showing its position
// over time (the latest position carried for it), time in seconds along the bottom and red marks
// where frames were lost. Points are thinned to the pixel columns of the plot (the lowest and
// highest position in each column), so the file stays small however long the capture is.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "study/decode_session.h"

class SvgPlot : public DecodeObserver {
 public:
  static constexpr int PlotWidth = 1000;  // pixel columns of the time axis

  // `seconds` is the length of the capture, known before decoding so columns can be filled as
  // frames arrive.
  SvgPlot(std::string title, double seconds);

  void OnFrame(const DecodedFrame& frame) override;
  void OnLostFrame(double ms, FrameLoss why) override;

  std::string Svg() const;

 private:
  struct Column {
    int low = -1, high = -1;  // positions seen in this pixel column; -1: none
  };
  int ColumnOf(double ms) const;

  std::string title_;
  double seconds_;
  std::array<std::vector<Column>, ChannelCount> lanes_;
  std::vector<bool> lost_;
  std::uint64_t framesLost_ = 0, frames_ = 0;
};
