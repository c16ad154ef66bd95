// MorvantisCapture joystick: the transmitter as a Linux joystick.
#pragma once

#include <CLI/CLI.hpp>

void AddJoystickCommand(CLI::App& app, int& exitCode);
