#include <windows.h>

#include "util/FileIO.h"

namespace {

class Win32File : public ReadOnlyFile {
 public:
  Win32File(HANDLE h, uint64_t size) : h_(h), size_(size) {}
  ~Win32File() override { CloseHandle(h_); }
  Win32File(const Win32File&) = delete;
  Win32File& operator=(const Win32File&) = delete;
  uint64_t Size() const override { return size_; }
  int64_t ReadAt(uint64_t offset, void* buffer, size_t count) override {
    // Reads go through the file pointer, moved only when the caller jumps: a read
    // with an OVERLAPPED position costs Wine an extra server round trip per call,
    // and the extraction reads a whole package front to back.
    if (offset != position_) {
      LARGE_INTEGER at;
      at.QuadPart = LONGLONG(offset);
      position_ = UINT64_MAX;
      if (offset > uint64_t(INT64_MAX) || !SetFilePointerEx(h_, at, nullptr, FILE_BEGIN)) return -1;
      position_ = offset;
    }
    DWORD want = count > 0x40000000 ? 0x40000000 : DWORD(count);
    DWORD got = 0;
    if (!ReadFile(h_, buffer, want, &got, nullptr)) {
      position_ = UINT64_MAX;  // where the pointer stands is unknown now
      return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    }
    position_ += got;
    return int64_t(got);
  }

 private:
  HANDLE h_;
  uint64_t size_;
  uint64_t position_ = 0;  // the file pointer; UINT64_MAX when unknown
};

}  // namespace

std::unique_ptr<ReadOnlyFile> OpenReadOnly(const std::string& path) {
  // Deny none: the setup file may be open elsewhere (an antivirus, a second reader).
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h, &size)) {
    CloseHandle(h);
    return nullptr;
  }
  return std::make_unique<Win32File>(h, uint64_t(size.QuadPart));
}

bool FileExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}
