// The run decoder's report texts, kept together so their wording can be checked at a glance.
#pragma once

#include <string_view>

namespace decoder_text {

inline constexpr std::string_view SyncOpen = "\n== SYNC = ";  // then POS or NEG
inline constexpr std::string_view PositivePolarity = "POS";
inline constexpr std::string_view NegativePolarity = "NEG";
inline constexpr std::string_view SyncTime = " == Time:";         // then the time
inline constexpr std::string_view SyncFrames = "ms == #Frames:";  // then the sync number
inline constexpr std::string_view SyncClose = " ================================\n";

inline constexpr std::string_view OddFrame = "FrameType: ODD. \n";
inline constexpr std::string_view EvenFrame = "FrameType: EVEN\n";
inline constexpr std::string_view UnknownFrameOpen = "FrameType: UNKNOWN (";  // then the type
inline constexpr std::string_view UnknownFrameClose = ")  CHECK\n";
inline constexpr std::string_view ExtraBitsSuffix = " Meaning unknown (yet)\n";

inline constexpr std::string_view InvalidPcmByte = "=== INVALID PCM byte ===\n";
inline constexpr std::string_view PcmByteSymbol = " => PCM byte ";  // then the symbol's bits

inline constexpr std::string_view FrameEndTime = "------ Time=";  // then the time and "\n"

}  // namespace decoder_text
