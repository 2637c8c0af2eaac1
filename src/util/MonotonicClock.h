// A millisecond clock that only moves forward, for rates and seeds. One small
// function per platform instead of <chrono>: in the stub, the library's clocks bring
// the exception machinery along.
#pragma once

#include <cstdint>

uint64_t MonotonicMilliseconds();
