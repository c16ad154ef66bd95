// The ecc fields a capture is written with. In: a frame's fields and an affine code (see
// ecc/affine_code.h), or a seed to draw a code from. Out: the frame with every group's ecc set
// from its data bits by the code, so that tests have transmitters whose code is known.
#pragma once

#include <cstdint>

#include "ecc/affine_code.h"
#include "encode/frame_bits.h"

// A code drawn at random from `seed`: every mask and every constant bit equally likely.
EccCode RandomEccCode(std::uint64_t seed);

// Sets each group's ecc to the one `code` gives its aux, delta and position.
void WriteEcc(const EccCode& code, FrameFields& frame);
