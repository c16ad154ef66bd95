// The channel stage's output texts, kept together so their wording can be checked at a glance.
#pragma once

#include <string_view>

namespace channel_text {

// Per-group line (level 3 and above): "   aux=%2d ecc=%3d A%d=%4d D%d=%4d" and its ending.
inline constexpr std::string_view AuxLabel = "   aux=";
inline constexpr std::string_view EccLabel = " ecc=";
inline constexpr std::string_view PositionLabel = " A";
inline constexpr std::string_view DeltaLabel = " D";
inline constexpr std::string_view AuxExpected = "\n";
inline constexpr std::string_view AuxMismatch = "*****CHECK****\n";

// Display columns for a channel without a position, by its delta.
inline constexpr std::string_view DeltaDown = "  D  ";
inline constexpr std::string_view DeltaSame = "  -  ";
inline constexpr std::string_view DeltaUp = "  U  ";

}  // namespace channel_text
