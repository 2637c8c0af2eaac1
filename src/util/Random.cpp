#include "util/Random.h"

#include <ctime>

#include "util/MonotonicClock.h"

uint64_t SeededRandom::Next() {  // splitmix64
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint32_t RandomBelow(uint32_t bound) {
  // The address of a local adds what address-space randomisation gives.
  int local = 0;
  static SeededRandom generator(MonotonicMilliseconds() ^ (uint64_t(std::time(nullptr)) << 20) ^
                                (uint64_t(reinterpret_cast<uintptr_t>(&local)) << 40));
  return generator.Below(bound);
}
