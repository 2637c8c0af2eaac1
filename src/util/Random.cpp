#include "util/Random.h"

#include <chrono>

uint64_t SeededRandom::Next() {  // splitmix64
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint32_t RandomBelow(uint32_t bound) {
  static SeededRandom generator(
      uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      uint64_t(std::chrono::system_clock::now().time_since_epoch().count()) << 1);
  return generator.Below(bound);
}
