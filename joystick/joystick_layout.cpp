// Channel positions in, axis and button values out.
#include "joystick/joystick_layout.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int RawCentre = 512;

// Whether the channel springs back to a centre well inside its travel.
bool Centring(const ChannelCalibration& c) {
  const int tenth = (c.Maximum - c.Minimum) / 10;
  return c.Centre - c.Minimum > tenth && c.Maximum - c.Centre > tenth;
}

}  // namespace

AxisRange RangeOf(const ChannelCalibration* calibration) {
  return calibration != nullptr ? AxisRange{-CalibratedReach, CalibratedReach}
                                : AxisRange{0, HighestPosition};
}

int AxisValue(int position, bool reversed, const ChannelCalibration* calibration) {
  position = std::clamp(position, 0, HighestPosition);
  if (calibration == nullptr) return reversed ? HighestPosition - position : position;
  const ChannelCalibration& c = *calibration;
  const double p = std::clamp(position, c.Minimum, c.Maximum);
  double reach;  // -1 to 1
  if (!Centring(c)) {
    reach = 2 * (p - c.Minimum) / (c.Maximum - c.Minimum) - 1;
  } else if (p < c.Centre) {
    reach = (p - c.Centre) / (c.Centre - c.Minimum);
  } else {
    reach = (p - c.Centre) / (c.Maximum - c.Centre);
  }
  const auto value = static_cast<int>(std::lround(reach * CalibratedReach));
  return reversed ? -value : value;
}

int CentreValue(bool reversed, const ChannelCalibration* calibration) {
  return calibration != nullptr ? AxisValue(calibration->Centre, reversed, calibration)
                                : AxisValue(RawCentre, reversed, nullptr);
}

int LowestValue(bool reversed, const ChannelCalibration* calibration) {
  return AxisValue(calibration != nullptr ? calibration->Minimum : 0, reversed, calibration);
}

bool ButtonPressed(int position, bool reversed, int threshold) {
  return (reversed ? HighestPosition - position : position) > threshold;
}

std::optional<int> CalibratedTenths(int position, const ChannelCalibration* calibration) {
  if (calibration == nullptr) return std::nullopt;
  return AxisValue(position, false, calibration);
}

std::function<std::optional<int>(int channel, int position)> CalibratedTenthsOf(
    const Calibration& calibration) {
  return [&calibration](int channel, int position) {
    const auto& c = calibration.Channels[static_cast<std::size_t>(channel - 1)];
    return CalibratedTenths(position, c ? &*c : nullptr);
  };
}
