#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "util/FileIO.h"

namespace {

class PosixFile : public ReadOnlyFile {
 public:
  PosixFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~PosixFile() override { ::close(fd_); }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;
  uint64_t Size() const override { return size_; }
  int64_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
    ssize_t n = ::pread(fd_, buffer, count, off_t(offset));
    return n < 0 ? -1 : int64_t(n);
  }

 private:
  int fd_;
  uint64_t size_;
};

}  // namespace

std::unique_ptr<ReadOnlyFile> OpenReadOnly(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<PosixFile>(fd, uint64_t(st.st_size));
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
