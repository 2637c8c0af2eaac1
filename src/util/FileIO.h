// The narrow file interface the package code reads through. The portable modules
// see only this; the native build supplies POSIX files, the stub Win32 files.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ReadOnlyFile {
 public:
  virtual ~ReadOnlyFile() = default;
  // Physical size in bytes.
  virtual uint64_t Size() const = 0;
  // Reads up to count bytes at offset; returns the number read (short at the end of
  // the file), or -1 on a failure.
  virtual int64_t ReadAt(uint64_t offset, void* buffer, size_t count) = 0;

  // Reads exactly count bytes; false on a short read or a failure.
  bool ReadExact(uint64_t offset, void* buffer, size_t count);
  // Reads the little-endian u32 at offset into value; false when it is not there.
  bool ReadU32(uint64_t offset, uint32_t& value);
};

// Opens an existing file read-only, sharing it with readers and writers.
// Returns nullptr when it cannot be opened.
std::unique_ptr<ReadOnlyFile> OpenReadOnly(const std::string& path);

// True when path names an existing file (not a folder).
bool FileExists(const std::string& path);

// A file held in memory: for the builder's own read-back and for tests.
class MemoryFile : public ReadOnlyFile {
 public:
  explicit MemoryFile(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  explicit MemoryFile(const std::string& bytes) : MemoryFile(bytes.data(), bytes.size()) {}
  MemoryFile(const void* data, size_t size)
      : bytes_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}
  uint64_t Size() const override { return bytes_.size(); }
  int64_t ReadAt(uint64_t offset, void* buffer, size_t count) override;
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};
