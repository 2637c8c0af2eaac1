#include "OutFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

OutFile::~OutFile() {
  if (file_) std::fclose(file_);
  if (!committed_ && !tempPath_.empty()) std::remove(tempPath_.c_str());
}

bool OutFile::Open(const std::string& finalPath, std::string& error) {
  finalPath_ = finalPath;
  tempPath_ = finalPath + ".partial";
  file_ = std::fopen(tempPath_.c_str(), "w+b");
  if (!file_) {
    error = "cannot create " + tempPath_ + ": " + std::strerror(errno);
    tempPath_.clear();
    return false;
  }
  return true;
}

bool OutFile::Write(const void* data, size_t size) {
  if (!file_ || (size && std::fwrite(data, 1, size, file_) != size)) return false;
  position_ += size;
  return true;
}

bool OutFile::Seek(uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file_, int64_t(offset), SEEK_SET) == 0;
#else
  return fseeko(file_, off_t(offset), SEEK_SET) == 0;
#endif
}

bool OutFile::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (!file_ || offset + size > position_) return false;
  bool ok = Seek(offset) && std::fwrite(data, 1, size, file_) == size;
  return Seek(position_) && ok;
}

bool OutFile::Flush() { return file_ && std::fflush(file_) == 0; }

bool OutFile::Commit(std::string& error) {
  bool ok = file_ && std::fclose(file_) == 0;
  file_ = nullptr;
  if (!ok) {
    error = "cannot write " + tempPath_;
    return false;
  }
  std::error_code ec;
  std::filesystem::rename(tempPath_, finalPath_, ec);
  if (ec) {
    error = "cannot rename " + tempPath_ + " to " + finalPath_ + ": " + ec.message();
    return false;
  }
  committed_ = true;
  return true;
}

InFile::~InFile() {
  if (file_) std::fclose(file_);
}

bool InFile::Open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "rb");
  return file_ != nullptr;
}

int64_t InFile::Read(void* buffer, size_t size) {
  size_t n = std::fread(buffer, 1, size, file_);
  if (n == 0 && std::ferror(file_)) return -1;
  return int64_t(n);
}
