// An output file written under a temporary name and renamed into place only when
// complete, so that a failed build never leaves a partial file behind.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

class OutFile {
 public:
  OutFile() = default;
  ~OutFile();
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;

  bool Open(const std::string& finalPath, std::string& error);
  bool Write(const void* data, size_t size);
  // Overwrites bytes already written, keeping the position at the end.
  bool WriteAt(uint64_t offset, const void* data, size_t size);
  bool Flush();
  uint64_t Position() const { return position_; }
  const std::string& TempPath() const { return tempPath_; }
  const std::string& FinalPath() const { return finalPath_; }
  // Closes and renames into place.
  bool Commit(std::string& error);

 private:
  bool Seek(uint64_t offset);

  std::FILE* file_ = nullptr;
  std::string finalPath_, tempPath_;
  uint64_t position_ = 0;
  bool committed_ = false;
};

// Reads a whole input file in bounded chunks.
class InFile {
 public:
  InFile() = default;
  ~InFile();
  InFile(const InFile&) = delete;
  InFile& operator=(const InFile&) = delete;
  bool Open(const std::string& path);
  // Bytes read (0 at the end); -1 on a read failure.
  int64_t Read(void* buffer, size_t size);

 private:
  std::FILE* file_ = nullptr;
};
