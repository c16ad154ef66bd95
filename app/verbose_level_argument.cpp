// The second argument as the verbose level: text in, a signed 32-bit level out.
#include "app/verbose_level_argument.h"

namespace {

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::int32_t ParseVerboseLevel(const char* text) {
  while (IsWhiteSpace(*text)) ++text;
  bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  std::uint32_t value = 0;  // wraps modulo 2^32 by design: no overflow check
  for (; *text >= '0' && *text <= '9'; ++text)
    value = value * 10 + static_cast<std::uint32_t>(*text - '0');
  if (negative) value = 0 - value;
  return static_cast<std::int32_t>(value);
}
