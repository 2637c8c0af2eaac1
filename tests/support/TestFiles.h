// Files and folders for tests: a private temporary folder, file contents, a minimal
// stub image, and a plain reading of a package's records.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A fresh folder under the system's temp folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

// The smallest file the builder takes as a stub: "MZ", e_lfanew = 0x100, "PE\0\0"
// at 0x100, then filler up to size bytes.
std::string MakeStubImage(size_t size = 4096);

// Bytes that compress poorly (a fixed pseudo-random sequence).
std::string NoiseBytes(size_t size, uint32_t seed = 1);

// Name (as packed) to data, joined over every record of every piece in order:
// what an extraction would write. Records are inflated whole (test data is small).
struct UnpackedPackage {
  std::map<std::string, std::string> files;
  std::vector<std::string> nameFields;  // one per record
  bool ok = false;
};
UnpackedPackage UnpackForTest(const std::string& firstPiece);

uint32_t ReadU32At(const std::string& bytes, size_t offset);
void PutU32At(std::string& bytes, size_t offset, uint32_t value);
