// Positions as a pilot reads them. In: a channel and its position (0 to 1023). Out: the
// position in tenths of a percent of the channel's calibrated travel (-1000 at its minimum, 0 at
// its centre, 1000 at its maximum), or nothing where the channel has no calibration. The
// calibration itself belongs to the joystick; readers that show percent are handed this.
#pragma once

#include <functional>
#include <optional>

using PercentTenths = std::function<std::optional<int>(int channel, int position)>;
