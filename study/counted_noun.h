// A count and the noun it counts in; the two as a message says them out: "1 frame", "2 frames".
#pragma once

#include <cstdint>
#include <string>

// "COUNT NOUN", the noun taking an s unless the count is 1.
inline std::string Counted(std::uint64_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}
