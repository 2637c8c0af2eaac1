// The per-user and all-users shell folders behind the folder placeholders: asked of
// the shell first, built from the Windows folder and the user's name when the shell
// lacks the query.
#pragma once
#include <functional>
#include <string>

// What the folder choice needs from the platform. Each query gives "" on failure.
struct ShellQueries {
  std::function<std::string(int csidl)> folderPath;     // SHGetFolderPathA
  std::function<std::string(int csidl)> specialFolder;  // SHGetSpecialFolderPathA
  std::function<bool(const std::string&)> folderExists;
  std::string windowsDir;      // without a trailing backslash
  std::string profileOwner;    // registered owner, or the user's name when there is none
};

// Shell folder identifiers (0x8000: create when missing).
enum ShellFolderId : int {
  kCsidlPersonal = 0x8005,
  kCsidlAppData = 0x801A,
  kCsidlLocalAppData = 0x801C,
  kCsidlCommonAppData = 0x8023,
  kCsidlCommonDocuments = 0x802E,
  kCsidlPrograms = 2,
  kCsidlStartMenu = 11,
  kCsidlDesktopDirectory = 16,
  kCsidlCommonStartMenu = 22,
  kCsidlCommonPrograms = 23,
  kCsidlCommonDesktopDirectory = 25,
};

// The path up to its last backslash, without it; "" when there is none. A bare drive
// ("C:") has no parent.
std::string ParentFolder(const std::string& path);
// A drive alone ("C:", "C:\") is never taken for an existing folder.
bool IsBareDrive(const std::string& path);

// The folder of a placeholder such as "<UserDir>" (without a trailing backslash);
// "" for a placeholder this module does not know.
std::string ResolveShellFolder(const std::string& placeholder, const ShellQueries& q);

#ifdef _WIN32
// The same against the running system; trailingBackslash gives exactly one.
std::string ShellFolder(const std::string& placeholder, bool trailingBackslash = false);
ShellQueries SystemShellQueries();
#endif
