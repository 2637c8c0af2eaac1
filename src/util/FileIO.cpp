#include "util/FileIO.h"

#include <cstring>

bool ReadOnlyFile::ReadExact(uint64_t offset, void* buffer, size_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    int64_t got = ReadAt(offset, out, count);
    if (got <= 0) return false;  // an early end is as bad as a failure here
    offset += uint64_t(got);
    out += got;
    count -= size_t(got);
  }
  return true;
}

bool ReadOnlyFile::ReadU32(uint64_t offset, uint32_t& value) {
  uint8_t b[4];
  if (!ReadExact(offset, b, 4)) return false;
  value = b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24);
  return true;
}

int64_t MemoryFile::ReadAt(uint64_t offset, void* buffer, size_t count) {
  if (offset >= bytes_.size()) return 0;
  size_t n = bytes_.size() - size_t(offset);
  if (n > count) n = count;
  if (n) std::memcpy(buffer, bytes_.data() + offset, n);
  return int64_t(n);
}
