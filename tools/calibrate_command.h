// MorvantisCapture calibrate: each channel's range and centre, into the calibration file.
#pragma once

#include <CLI/CLI.hpp>

void AddCalibrateCommand(CLI::App& app, int& exitCode);
