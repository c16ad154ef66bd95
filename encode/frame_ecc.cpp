// A frame and an ecc code in, the frame with its groups' ecc written by the code out.
#include "encode/frame_ecc.h"

#include "encode/seeded_random.h"

EccCode RandomEccCode(std::uint64_t seed) {
  SeededRandom random(seed);
  EccCode code;
  for (std::uint32_t& mask : code.Masks) {
    mask = static_cast<std::uint32_t>(random.Next() & ((1u << GroupDataBits) - 1));
  }
  code.Constants = static_cast<std::uint32_t>(random.Next() & 0xFFu);
  return code;
}

void WriteEcc(const EccCode& code, FrameFields& frame) {
  for (GroupFields& group : frame.Groups) group.Ecc = EccOf(code, GroupData(group));
}
