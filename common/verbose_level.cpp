#include "common/verbose_level.h"

std::int32_t VerboseLevel = 0;
