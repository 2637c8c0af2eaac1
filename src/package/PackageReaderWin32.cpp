#include <windows.h>

#include <zlib.h>

#include "package/PackageReader.h"

// zlib's inflate refers to crc32 for gzip streams, which no package holds. Giving it
// ours (the same function) keeps zlib's own CRC code and tables, 7 KB, out of the
// program; zlib's answer to a null buffer is 0.
extern "C" uLong crc32(uLong crc, const Bytef* buf, uInt len) {
  return buf ? Crc32Update(uint32_t(crc), buf, len) : 0;
}

uint64_t ClusterSize(const std::string& path) {
  std::string root = path.substr(0, 3);
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
    return 0;
  return uint64_t(sectorsPerCluster) * bytesPerSector;
}
