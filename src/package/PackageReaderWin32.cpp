#include <windows.h>

#include "package/PackageReader.h"

uint64_t ClusterSize(const std::string& path) {
  std::string root = path.substr(0, 3);
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
    return 0;
  return uint64_t(sectorsPerCluster) * bytesPerSector;
}
