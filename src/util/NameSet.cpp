#include "util/NameSet.h"

uint32_t NameSet::Hash(const std::string& name) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (unsigned char c : name) h = (h ^ c) * 16777619u;
  return h;
}

void NameSet::Grow() {
  // Kept at most half full, so that a probe sequence always ends at an empty slot.
  std::vector<uint32_t> slots(slots_.empty() ? 16 : slots_.size() * 2, 0);
  const size_t mask = slots.size() - 1;
  for (size_t i = 0; i < names_.size(); ++i) {
    size_t at = Hash(names_[i]) & mask;
    while (slots[at]) at = (at + 1) & mask;
    slots[at] = uint32_t(i + 1);
  }
  slots_.swap(slots);
}

bool NameSet::Insert(const std::string& name) {
  if ((names_.size() + 1) * 2 > slots_.size()) Grow();
  const size_t mask = slots_.size() - 1;
  size_t at = Hash(name) & mask;
  while (slots_[at]) {
    if (names_[slots_[at] - 1] == name) return false;
    at = (at + 1) & mask;
  }
  slots_[at] = uint32_t(names_.size() + 1);
  names_.push_back(name);
  return true;
}
