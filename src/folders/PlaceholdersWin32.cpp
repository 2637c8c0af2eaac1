#include <windows.h>

#include <string>

#include "folders/Placeholders.h"
#include "folders/ShellFolders.h"
#include "util/Files.h"
#include "util/PlatformHelpers.h"
#include "util/SeparatorLists.h"
#include "util/SystemInfo.h"

namespace {

InstallFolders g_installFolders;

class SystemAnswers final : public PlaceholderAnswers {
 public:
  std::string LoggedUserName() const override { return ::UserName(); }
  std::string RegisteredOwner() const override { return ::RegisteredOwner(); }
  std::string RegisteredOrganization() const override { return ::RegisteredOrganization(); }
  std::string ComputerName() const override { return ::ComputerName(); }
  std::string UserDomain() const override { return ::UserDomain(); }
  std::string WindowsDir() const override { return ::WindowsDir(false); }
  std::string SystemDir() const override { return ::SystemDir(false); }
  std::string TempDir() const override { return ::TempDir(false); }
  std::string ProgramDir() const override { return ExeDir(false); }
  std::string OriginFolder() const override {
    // The switch and the program file do not change while the process runs.
    static const std::string origin = OriginFolderOf(GetParamValue("/OriginExe="), ExePath(false), ExeDir(false));
    return origin;
  }
  std::string RegistryText(const std::string& location, const std::string& value) const override {
    return ReadRegistryString(location, value, "", false);
  }
  bool FolderExists(const std::string& path) const override { return ::FolderExists(path); }
  std::string ShellFolder(const std::string& placeholder) const override { return ::ShellFolder(placeholder, false); }
  LocalDateTime Now() const override { return CurrentLocalDateTime(); }
  std::string LongMonthNames() const override {
    std::string list = "|";
    for (LCTYPE m = 0; m < 12; ++m) {
      char name[80] = {};
      int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SMONTHNAME1 + m, name, sizeof name);
      list += n > 1 ? std::string(name, static_cast<size_t>(n - 1)) : "";
      list += "|";
    }
    return list;
  }
  std::string DateSeparator() const override { return LocaleDateSeparator(); }
  std::string FullPath(const std::string& path) const override {
    if (path.empty()) return path;
    std::string buffer(MAX_PATH, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
      DWORD n = GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
      if (n == 0 || n > 32767) return path;
      if (n < buffer.size()) return buffer.substr(0, n);
      buffer.assign(n + 1, '\0');
    }
    return path;
  }
};

}  // namespace

const PlaceholderAnswers& SystemPlaceholderAnswers() {
  static const SystemAnswers answers;
  return answers;
}

void SetInstallFolders(const std::string& application, const std::string& common, const std::string& auxiliary) {
  g_installFolders = {application, common, auxiliary};
}

std::string ExpandPlaceholders(const std::string& text, const std::string& suffix, bool normalize, bool folders) {
  return ExpandPlaceholders(SystemPlaceholderAnswers(), g_installFolders, text, suffix, normalize, folders);
}

std::string DateTokenText(char code) {
  const PlaceholderAnswers& a = SystemPlaceholderAnswers();
  return DateTokenText(code, a.Now(), a.LongMonthNames(), a.DateSeparator());
}
