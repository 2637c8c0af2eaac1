// Small non-cryptographic random numbers (scramble keys, provisional tokens).
#pragma once
#include <cstdint>

// A number from 0 to bound - 1 (0 when bound is 0). Seeded once from the clock.
uint32_t RandomBelow(uint32_t bound);

// Deterministic generator for reproducible output (the builder).
class SeededRandom {
 public:
  explicit SeededRandom(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  uint32_t Below(uint32_t bound) { return bound ? uint32_t(Next() % bound) : 0; }

 private:
  uint64_t state_;
};
