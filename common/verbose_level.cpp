// The verbose level every stage reads, set once by the driver.
#include "common/verbose_level.h"

std::int32_t VerboseLevel = 0;
