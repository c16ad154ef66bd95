// The verbose level as the command line gives it: leading white space skipped, one optional
// sign, decimal digits up to the first other character, accumulated modulo 2^32 and read as a
// signed 32-bit value. A text without digits gives 0; every value is accepted.
#pragma once

#include <cstdint>

std::int32_t ParseVerboseLevel(const char* text);
