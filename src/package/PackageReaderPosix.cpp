#include <sys/statvfs.h>

#include "package/PackageReader.h"

// Native tools have no drive letters: the file system holding the path decides.
uint64_t ClusterSize(const std::string& path) {
  struct statvfs fs {};
  if (path.empty() || ::statvfs(path.c_str(), &fs) != 0) return 0;
  return uint64_t(fs.f_bsize);
}
