#include <windows.h>

#include "util/MonotonicClock.h"
#include "util/PlatformHelpers.h"

uint64_t MonotonicMilliseconds() { return MilliClock(); }
