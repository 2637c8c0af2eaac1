#include <windows.h>

#include "folders/ShellFolders.h"
#include "util/Files.h"
#include "util/PlatformHelpers.h"
#include "util/SystemInfo.h"

namespace {

using GetFolderPathFn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
using GetSpecialFolderPathFn = BOOL(WINAPI*)(HWND, LPSTR, int, BOOL);

std::string QueryFolderPath(int csidl) {
  static auto fn = reinterpret_cast<GetFolderPathFn>(reinterpret_cast<void*>(LoadProc("SHFolder.dll", "SHGetFolderPathA")));
  if (!fn) return "";
  char buffer[1025] = {};
  if (fn(nullptr, csidl, nullptr, 0, buffer) != 0) return "";
  buffer[1024] = 0;
  return buffer;
}

std::string QuerySpecialFolder(int csidl) {
  static auto fn = reinterpret_cast<GetSpecialFolderPathFn>(
      reinterpret_cast<void*>(LoadProc("shell32.dll", "SHGetSpecialFolderPathA")));
  if (!fn) return "";
  char buffer[1025] = {};
  if (!fn(nullptr, buffer, csidl, FALSE)) return "";
  buffer[1024] = 0;
  return buffer;
}

bool DirectoryExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string WindowsFolder() {
  char buffer[MAX_PATH];
  UINT n = GetWindowsDirectoryA(buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? NoTrailingBackslash(std::string(buffer, n)) : "C:\\Windows";
}

}  // namespace

ShellQueries SystemShellQueries() {
  ShellQueries q;
  q.folderPath = QueryFolderPath;
  q.specialFolder = QuerySpecialFolder;
  q.folderExists = DirectoryExists;
  q.windowsDir = WindowsFolder();
  q.profileOwner = RegisteredOwner();  // the user's name when no owner is registered
  return q;
}

std::string ShellFolder(const std::string& placeholder, bool trailingBackslash) {
  std::string folder = ResolveShellFolder(placeholder, SystemShellQueries());
  return trailingBackslash ? SetTrailingBackslash(folder, true) : NoTrailingBackslash(folder);
}
