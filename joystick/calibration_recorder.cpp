// Frames in, each channel's range and resting position out.
#include "joystick/calibration_recorder.h"

#include <algorithm>

#include "common/signal_layout.h"
#include "files/stop_signal.h"

CalibrationRecorder::CalibrationRecorder() = default;

void CalibrationRecorder::OnFrame(const DecodedFrame& frame) {
  ++frames_;
  for (std::size_t channel = 1; channel <= ChannelCount; ++channel) {
    const int position = frame.Positions[channel];
    if (position < 0) continue;
    const std::size_t index = channel - 1;
    ChannelCalibration& c = seen_[index];
    if (!any_[index]) c = {position, position, position};
    any_[index] = true;
    c.Minimum = std::min(c.Minimum, position);
    c.Maximum = std::max(c.Maximum, position);
    c.Centre = position;
  }
}

bool CalibrationRecorder::WantsMore() {
  return !StopRequested();
}

Calibration CalibrationRecorder::Result(std::string& unmoved) const {
  Calibration calibration;
  unmoved.clear();
  for (std::size_t i = 0; i < seen_.size(); ++i) {
    if (any_[i] && seen_[i].Minimum < seen_[i].Maximum) {
      calibration.Channels[i] = seen_[i];
    } else {
      unmoved += (unmoved.empty() ? "" : ",") + std::to_string(i + 1);
    }
  }
  return calibration;
}
