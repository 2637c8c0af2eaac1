#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdint>

#include "util/DebugLog.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/PlatformHelpers.h"
#include "util/SeparatorLists.h"
#include "util/WinHandle.h"

#ifndef IOCTL_STORAGE_EJECT_MEDIA
#define IOCTL_STORAGE_EJECT_MEDIA 0x2D4808
#endif

namespace {

using Handle = WinHandle;

class FindHandle {
 public:
  FindHandle(const std::string& mask, WIN32_FIND_DATAA& data)
      : h_(FindFirstFileA(mask.c_str(), &data)) {}
  ~FindHandle() {
    if (ok()) FindClose(h_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
  bool Next(WIN32_FIND_DATAA& data) { return FindNextFileA(h_, &data) != FALSE; }

 private:
  HANDLE h_;
};

// No "insert a disk" boxes while empty drives are probed.
class QuietErrors {
 public:
  QuietErrors() : old_(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
  ~QuietErrors() { SetErrorMode(old_); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  UINT old_;
};

// Diagnostic lines; the debug channel takes them over once it exists.
void Trace(const std::string& line) { DebugWriteLine(line); }

DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

bool IsFolder(DWORD a) { return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY); }

bool IsDots(const char* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

int64_t Size64(DWORD high, DWORD low) { return int64_t((uint64_t(high) << 32) | low); }

// A buffer-filling platform call: retried once with the size it asks for.
template <class Call>
std::string Filled(Call call) {
  char small[MAX_PATH + 1];
  DWORD n = call(small, DWORD(sizeof small));
  if (n == 0) return std::string();
  if (n < sizeof small) return std::string(small, n);
  std::string big(n + 1, '\0');
  DWORD m = call(&big[0], DWORD(big.size()));
  if (m == 0 || m >= big.size()) return std::string();
  big.resize(m);
  return big;
}

}  // namespace

bool IsAnsiLeadByte(unsigned char ch) { return IsDBCSLeadByte(ch) != FALSE; }

// ---- program and system folders -------------------------------------------------

std::string ExePath(bool baseOnly) {
  std::string path;
  for (DWORD size = MAX_PATH + 1; size <= 32768; size *= 2) {
    path.assign(size, '\0');
    DWORD n = GetModuleFileNameA(nullptr, &path[0], size);
    if (n == 0) return std::string();
    if (n < size) {
      path.resize(n);
      break;
    }
    path.clear();
  }
  return baseOnly ? FileBaseName(path) : path;
}

std::string ExeDir(bool fold) {
  std::string prefix = FilePrefixOf(ExePath());
  return SetTrailingBackslash(prefix, fold);
}

std::string WindowsDir(bool fold) {
  return SetTrailingBackslash(
      Filled([](char* b, DWORD n) { return DWORD(GetWindowsDirectoryA(b, n)); }), fold);
}

std::string SystemDir(bool fold) {
  return SetTrailingBackslash(
      Filled([](char* b, DWORD n) { return DWORD(GetSystemDirectoryA(b, n)); }), fold);
}

std::string TempDir(bool fold) {
  return SetTrailingBackslash(Filled([](char* b, DWORD n) { return GetTempPathA(n, b); }), fold);
}

// ---- files ----------------------------------------------------------------------

namespace {
// A 32-bit process cannot hold more in one piece; larger reads fail instead.
constexpr int64_t kReadLimit = 0x40000000;
}  // namespace

std::string ReadFileRange(const std::string& file, int64_t maxLength, int64_t start) {
  if (start < 0 || maxLength < 0 || file.empty()) return std::string();
  Handle f(CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f.ok()) return std::string();
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(f.get(), &size) || start >= size.QuadPart) return std::string();
  int64_t length = size.QuadPart - start;
  if (maxLength > 0 && maxLength < length) length = maxLength;
  if (length > kReadLimit) return std::string();
  LARGE_INTEGER at{};
  at.QuadPart = start;
  if (!SetFilePointerEx(f.get(), at, nullptr, FILE_BEGIN)) return std::string();
  std::string out(size_t(length), '\0');
  size_t done = 0;
  while (done < out.size()) {
    DWORD want = DWORD(std::min<size_t>(out.size() - done, 1u << 24));
    DWORD got = 0;
    if (!ReadFile(f.get(), &out[done], want, &got, nullptr) || got == 0) return std::string();
    done += got;
  }
  return out;
}

bool WriteFileText(const std::string& file, const std::string& data, uint32_t dosDate,
                   bool append, const FileProgress& progress) {
  if (file.empty()) return false;
  // Append access puts every write at the end of the file at that moment, so two
  // processes appending to one log never overwrite each other's lines.
  Handle f(append ? CreateFileA(file.c_str(), FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr)
                  : CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f.ok()) return false;
  const int64_t total = int64_t(data.size());
  auto write = [&](const char* p, int64_t count) -> int64_t {
    DWORD wrote = 0;
    if (!WriteFile(f.get(), p, DWORD(count), &wrote, nullptr)) return -1;
    return int64_t(wrote);
  };
  int64_t written = 0;
  if (WriteGoesInChunks(total, bool(progress))) {
    written = WriteInChunks(data.data(), total, progress, write);
  } else if (total > 0) {
    written = std::max<int64_t>(write(data.data(), total), 0);
  }
  if (written != total) return false;
  if (dosDate != 0) {
    FILETIME local{}, utc{};
    if (DosDateTimeToFileTime(WORD(dosDate >> 16), WORD(dosDate & 0xFFFF), &local) &&
        LocalFileTimeToFileTime(&local, &utc))
      SetFileTime(f.get(), nullptr, nullptr, &utc);
  }
  return true;
}

bool AppendFileText(const std::string& file, const std::string& data, uint32_t dosDate) {
  return WriteFileText(file, data, dosDate, true, nullptr);
}

int64_t FileSizeByName(const std::string& nameOrMask) {
  if (nameOrMask.empty()) return 0;
  WIN32_FIND_DATAA d;
  FindHandle find(nameOrMask, d);
  if (!find.ok()) return 0;
  do {
    if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return Size64(d.nFileSizeHigh, d.nFileSizeLow);
  } while (find.Next(d));
  return 0;
}

bool FolderExists(const std::string& path) {
  return !path.empty() && IsFolder(GetFileAttributesA(path.c_str()));
}

bool FileExistsQuietly(const std::string& path) {
  QuietErrors quiet;
  return FileExists(path);
}

bool CreateFolderTree(const std::string& folder) {
  std::string path = NoTrailingBackslash(folder);
  if (path.empty()) return false;
  if (FolderExists(path)) return true;
  size_t cut = path.find_last_of("\\/");
  // A drive root or a share cannot be made; everything below it is made parent first.
  if (cut != std::string::npos && cut > 0 && !IsDriveOrShareRoot(path.substr(0, cut))) CreateFolderTree(path.substr(0, cut));
  return CreateDirectoryA(path.c_str(), nullptr) != 0 || FolderExists(path);
}

uint32_t FileDateOf(const std::string& file) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (file.empty() || !GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &a)) return 0;
  FILETIME local;
  WORD date = 0, time = 0;
  if (!FileTimeToLocalFileTime(&a.ftLastWriteTime, &local) ||
      !FileTimeToDosDateTime(&local, &date, &time))
    return 0;
  return (uint32_t(date) << 16) | time;
}

int64_t FileSizeOfHandle(void* file) {
  LARGE_INTEGER size{};
  if (!file || file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size)) return -1;
  return size.QuadPart;
}

int64_t SeekFile(void* file, int64_t distance, int origin) {
  LARGE_INTEGER move{}, now{};
  move.QuadPart = distance;
  if (!file || file == INVALID_HANDLE_VALUE || !SetFilePointerEx(file, move, &now, DWORD(origin)))
    return -1;
  return now.QuadPart;
}

double DiskFree(const std::string& path) {
  using FreeSpaceEx = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  static const FreeSpaceEx freeSpaceEx = [] {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel ? reinterpret_cast<FreeSpaceEx>(
                        reinterpret_cast<void*>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")))
                  : nullptr;
  }();
  std::vector<std::string> paths = DiskFreeQueryPaths(path);
  if (paths.empty()) return -1;
  QuietErrors quiet;
  if (freeSpaceEx) {
    for (const std::string& p : paths) {
      ULARGE_INTEGER available{}, total{}, free{};
      if (freeSpaceEx(p.c_str(), &available, &total, &free)) return double(available.QuadPart);
    }
    return -1;
  }
  // The classic call knows roots only: the last candidate is the root or the share.
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (!GetDiskFreeSpaceA(paths.back().c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &clusters))
    return -1;
  return double(sectorsPerCluster) * double(bytesPerSector) * double(freeClusters);
}

// ---- deleting -------------------------------------------------------------------

bool DeleteFiles(const std::string& mask, bool clearAttributes) {
  if (mask.empty()) return false;
  const std::string prefix = FilePrefixOf(mask);
  WIN32_FIND_DATAA d;
  FindHandle find(mask, d);
  if (!find.ok()) return false;
  bool matched = false;
  do {
    if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    matched = true;
    const std::string path = prefix + d.cFileName;
    if (clearAttributes) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
  } while (find.Next(d));
  return matched;
}

namespace {

// A junction or directory link is removed as a link; its target is never touched.
void RemoveLink(const std::string& path) {
  if (!RemoveDirectoryA(path.c_str())) DeleteFileA(path.c_str());
}

void EmptyFolder(const std::string& dir, bool clearAttributes, const FileProgress& progress) {
  DeleteFiles(dir + "\\*", clearAttributes);
  struct Sub {
    std::string path;
    bool link;
  };
  std::vector<Sub> subs;
  {
    WIN32_FIND_DATAA d;
    FindHandle find(dir + "\\*", d);
    if (!find.ok()) return;
    do {
      if (!(d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsDots(d.cFileName)) continue;
      subs.push_back({dir + "\\" + d.cFileName, (d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0});
    } while (find.Next(d));
  }
  bool cancel = false;
  int64_t removed = 0;
  for (const Sub& sub : subs) {
    if (sub.link) {
      RemoveLink(sub.path);
    } else {
      EmptyFolder(sub.path, clearAttributes, nullptr);
      if (clearAttributes) SetFileAttributesA(sub.path.c_str(), FILE_ATTRIBUTE_NORMAL);
      RemoveDirectoryA(sub.path.c_str());
    }
    if (progress) {
      progress(1, 0, ++removed, cancel);
      if (cancel) return;
    }
  }
}

}  // namespace

bool DeleteTree(const std::string& folder, bool clearAttributes, const FileProgress& progress) {
  if (folder.empty() || IsDriveOrShareRoot(folder)) return false;
  const std::string dir = NoTrailingBackslash(folder);
  const DWORD a = Attributes(dir);
  if (!IsFolder(a)) return false;
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) {
    RemoveLink(dir);
  } else {
    EmptyFolder(dir, clearAttributes, progress);
    if (clearAttributes) SetFileAttributesA(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(dir.c_str());
  }
  return Attributes(dir) == INVALID_FILE_ATTRIBUTES;
}

// ---- searches -------------------------------------------------------------------

namespace {

constexpr int kMaxSearchDepth = 64;

// Depth-first below folder (no trailing backslash): first the target in the folder
// itself, then every visible, real subfolder in listing order.
std::string SearchBelow(const std::string& folder, const std::string& name, bool wantFolder,
                        int depth) {
  const std::string target = folder + "\\" + name;
  if (target.size() < MAX_PATH) {
    DWORD a = Attributes(target);
    if (a != INVALID_FILE_ATTRIBUTES && IsFolder(a) == wantFolder) return target;
  }
  if (depth >= kMaxSearchDepth || folder.size() + 3 >= MAX_PATH) return std::string();
  WIN32_FIND_DATAA d;
  FindHandle find(folder + "\\*", d);
  if (!find.ok()) return std::string();
  do {
    const DWORD skip = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_REPARSE_POINT;
    if ((d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(d.dwFileAttributes & skip) &&
        !IsDots(d.cFileName)) {
      std::string hit = SearchBelow(folder + "\\" + d.cFileName, name, wantFolder, depth + 1);
      if (!hit.empty()) return hit;
    }
    PumpMessages();
  } while (find.Next(d));
  return std::string();
}

std::string SearchDrives(const std::string& name, int driveType, bool wantFolder) {
  const std::string n = SearchNameOf(name);
  if (n.empty() || driveType < 0) return std::string();
  QuietErrors quiet;
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    const std::string root = std::string(1, letter) + ":\\";
    if (GetDriveTypeA(root.c_str()) != UINT(driveType)) continue;
    std::string hit = SearchBelow(root.substr(0, 2), n, wantFolder, 0);
    if (!hit.empty()) return hit;
  }
  return std::string();
}

std::string SearchUnder(const std::string& folder, const std::string& name, bool wantFolder) {
  const std::string n = SearchNameOf(name);
  const std::string dir = NoTrailingBackslash(folder);
  if (n.empty() || dir.empty() || !IsFolder(Attributes(dir + "\\"))) return std::string();
  return SearchBelow(dir, n, wantFolder, 0);
}

}  // namespace

std::string FindFileOnDrives(const std::string& name, int driveType) {
  return SearchDrives(name, driveType, false);
}

std::string FindFolderOnDrives(const std::string& name, int driveType) {
  if (DriveLetterOf(name) && name.size() > 2 && (name[2] == '\\' || name[2] == '/')) {
    // A full path: checked where it is.
    const std::string path = NoTrailingBackslash(ReplaceChar(name, '/', '\\'));
    const std::string root = std::string(1, DriveLetterOf(name)) + ":\\";
    QuietErrors quiet;
    if (driveType < 0 || GetDriveTypeA(root.c_str()) != UINT(driveType)) return std::string();
    return IsFolder(Attributes(path)) ? path : std::string();
  }
  return SearchDrives(name, driveType, true);
}

std::string FindFileUnder(const std::string& folder, const std::string& name) {
  return SearchUnder(folder, name, false);
}

std::string FindFolderUnder(const std::string& folder, const std::string& name) {
  return SearchUnder(folder, name, true);
}

// ---- CD eject -------------------------------------------------------------------

bool EjectCD(const std::string& path) {
  if (path.empty()) return false;
  char letter = path[0];
  if (letter >= 'a' && letter <= 'z') letter = char(letter - 'a' + 'A');
  if (letter < 'A' || letter > 'Z') return false;
  const std::string root = std::string(1, letter) + ":\\";
  QuietErrors quiet;
  if (GetDriveTypeA(root.c_str()) != DRIVE_CDROM) return false;
  const std::string device = std::string("\\\\.\\") + letter + ":";
  HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  Trace("EjectCD-2: " + device + " " + IntToStr(int64_t(reinterpret_cast<intptr_t>(h))));
  if (h == INVALID_HANDLE_VALUE) {
    h = CreateFileA(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    Trace("EjectCD-3: " + device + " " + IntToStr(int64_t(reinterpret_cast<intptr_t>(h))));
  }
  Handle device_handle(h);
  if (!device_handle.ok()) return false;
  DWORD returned = 0;
  return DeviceIoControl(device_handle.get(), IOCTL_STORAGE_EJECT_MEDIA, nullptr, 0, nullptr, 0,
                         &returned, nullptr) != FALSE;
}

// ---- self-deletion ----------------------------------------------------------------

namespace {

bool PrintableAscii(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 || c > 0x7E) return false;
  return true;
}

// The form of an existing path that cmd reads correctly in the OEM code page: the
// path itself when it is plain ASCII, else its short name, else its OEM spelling when
// that converts back unchanged. Empty when none works: a "?" from a failed conversion
// would be a wildcard to DEL.
std::string BatchPathOf(const std::string& path) {
  if (PrintableAscii(path)) return path;
  std::string shortName = Filled([&](char* b, DWORD n) { return GetShortPathNameA(path.c_str(), b, n); });
  if (!shortName.empty() && PrintableAscii(shortName)) return shortName;
  std::string oem(path.size(), '\0');
  if (!CharToOemBuffA(path.c_str(), &oem[0], DWORD(path.size()))) return std::string();
  std::string back(oem.size(), '\0');
  if (!OemToCharBuffA(oem.c_str(), &back[0], DWORD(oem.size())) || back != path) return std::string();
  return oem;
}

}  // namespace

bool DeleteMySelf(bool removeFolder, int tries) {
  const std::string temp = TempDir(true);
  const std::string tempNoSlash = TempDir(false);
  const std::string exe = ExePath();
  const std::string dir = ExeDir(false);
  const std::string sys = SystemDir(false);
  if (temp.empty() || exe.empty() || sys.empty()) return false;
  // The process must not hold its own folder while the batch removes it.
  SetCurrentDirectoryA(tempNoSlash.c_str());

  // A batch of another self-deleting program may be running under the plain name;
  // rewriting it under cmd's feet would garble it.
  std::string batchPath;
  HANDLE created = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
    batchPath = SelfDeleteBatchName(temp, attempt);
    created = CreateFileA(batchPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE) {
      DWORD e = GetLastError();
      if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS && e != ERROR_ACCESS_DENIED) break;
    }
  }
  std::string text;
  {
    Handle batch(created);
    if (!batch.ok()) return false;
    SelfDeleteBatch b;
    b.exePath = BatchPathOf(exe);
    b.folder = removeFolder ? BatchPathOf(dir) : std::string();
    b.batchPath = BatchPathOf(batchPath);
    b.systemDir = BatchPathOf(sys);
    b.removeFolder = removeFolder;
    b.tries = tries;
    text = BuildSelfDeleteBatch(b);
    DWORD wrote = 0;
    if (text.empty() || !WriteFile(batch.get(), text.data(), DWORD(text.size()), &wrote, nullptr) ||
        wrote != text.size())
      text.clear();
  }
  if (text.empty()) {
    DeleteFileA(batchPath.c_str());
    return false;
  }

  // cmd by its full path, the batch by its bare name in the temp folder: nothing on
  // the command line for cmd to expand or misquote.
  const std::string cmd = sys + "\\cmd.exe";
  std::string line = "\"" + cmd + "\" /d /c .\\" + batchPath.substr(temp.size());
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(cmd.c_str(), &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      tempNoSlash.c_str(), &si, &pi)) {
    DeleteFileA(batchPath.c_str());
    return false;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}
