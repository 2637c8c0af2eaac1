// Expansion of "<...>" placeholders in folder texts: user and machine names, a date,
// the three install folders, the Windows and system folders, registry and shell
// folders and the folders of the running program.
//
// The expansion is a plain function of the text and of the answers below; on
// Windows the answers come from the running system (PlaceholdersWin32.cpp).
#pragma once

#include <string>

#include "util/SystemInfo.h"

// The three folders of the installed application, as the original-settings file
// names them.
struct InstallFolders {
  std::string application;  // "<InstallDir>", "<Application Folder>"
  std::string common;       // "<InstallCommonDir>", "<Common Folder>"
  std::string auxiliary;    // "<InstallAuxDir>", "<Auxiliary Folder>"
};

// What the expansion asks of the system. Folders come without a trailing backslash;
// anything unknown is "".
class PlaceholderAnswers {
 public:
  virtual ~PlaceholderAnswers() = default;
  virtual std::string LoggedUserName() const = 0;
  virtual std::string RegisteredOwner() const = 0;  // "" when none is registered
  virtual std::string RegisteredOrganization() const = 0;
  virtual std::string ComputerName() const = 0;
  virtual std::string UserDomain() const = 0;
  virtual std::string WindowsDir() const = 0;
  virtual std::string SystemDir() const = 0;
  virtual std::string TempDir() const = 0;
  virtual std::string ProgramDir() const = 0;    // folder of the running program
  virtual std::string OriginFolder() const = 0;  // see OriginFolderOf
  // A registry value as text; location such as "HKEY_CURRENT_USER\Software\...".
  virtual std::string RegistryText(const std::string& location, const std::string& value) const = 0;
  virtual bool FolderExists(const std::string& path) const = 0;
  // A shell folder by its placeholder ("<UserDir>" ...), as ShellFolders resolves it.
  virtual std::string ShellFolder(const std::string& placeholder) const = 0;
  virtual LocalDateTime Now() const = 0;
  // The locale's full month names as a separator list of twelve items.
  virtual std::string LongMonthNames() const = 0;
  virtual std::string DateSeparator() const = 0;
  // The platform's full-path expansion (relative to the current folder).
  virtual std::string FullPath(const std::string& path) const = 0;
};

// Every occurrence of token (any case) replaced by value + suffix. The suffix is
// left out when, at the first occurrence, the token ends the text, is followed by a
// blank, or stands before the separator of a separator list (the text starts and
// ends with that character, which is neither "<" nor a letter).
std::string ReplaceFolderToken(const std::string& text, const std::string& token,
                               const std::string& value, const std::string& suffix);

// The text of "<Date=" + code + ">" for the moment now: "#" day/month name/year with
// the locale's separator, "0" whole days since 1 January 2000, "1".."7" fixed numeric
// forms. "" for any other code.
std::string DateTokenText(char code, const LocalDateTime& now, const std::string& longMonthNames,
                          const std::string& dateSeparator);

// The folder part of originExe (without trailing backslash), or of programPath when
// originExe is empty; programDir when that comes out empty.
std::string OriginFolderOf(const std::string& originExe, const std::string& programPath,
                           const std::string& programDir);

// The 16-bit system folder: the system folder without its last "32" when that exists,
// else Windows\System when that exists, else the system folder.
std::string System16Folder(const PlaceholderAnswers& answers);

// The expansion: names and date always; the folder tokens when folders is set;
// with normalize, parts holding "\.." or "..\" made full paths (each such item of a
// "," or "|" list on its own). Tokens not known here stay in the text.
std::string ExpandPlaceholders(const PlaceholderAnswers& answers, const InstallFolders& installFolders,
                               const std::string& text, const std::string& suffix, bool normalize,
                               bool folders);

#ifdef _WIN32
// The same against the running system, with the install folders of the process.
void SetInstallFolders(const std::string& application, const std::string& common,
                       const std::string& auxiliary);
std::string ExpandPlaceholders(const std::string& text, const std::string& suffix, bool normalize,
                               bool folders);
std::string DateTokenText(char code);
const PlaceholderAnswers& SystemPlaceholderAnswers();
#endif
