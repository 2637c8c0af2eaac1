#include "folders/Placeholders.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "util/Files.h"
#include "util/SeparatorLists.h"

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsDateCode(char c) { return c == '#' || (c >= '0' && c <= '7'); }

bool HasDotDot(const std::string& text) {
  return text.find("\\..") != std::string::npos || text.find("..\\") != std::string::npos;
}

// Registry keys are case-blind: one spelling serves the start menu and the fonts.
constexpr const char* kUserShellFolders =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kCurrentVersion = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

constexpr const char* kShellFolderTokens[] = {
    "<UserDir>",          "<UserAppDataDir>",        "<UserLocalAppDataDir>",        "<MyDocumentsDir>",
    "<UserStartMenuDir>", "<UserStartProgramMenuDir>", "<UserDesktopDir>",           "<DocumentsAndSettingsDir>",
    "<AllUsersDir>",      "<AllUsersAppDataDir>",    "<AllUsersDocumentsDir>",       "<AllUsersStartMenuDir>",
    "<AllUsersStartProgramMenuDir>", "<AllUsersDesktopDir>"};

// The text being expanded; values are only asked for when their token is present.
class Expansion {
 public:
  Expansion(std::string text, const std::string& suffix) : text_(std::move(text)), suffix_(suffix) {}

  template <typename Value>
  void Folder(const std::string& token, Value value) {
    if (PosCI(token, text_)) text_ = ReplaceFolderToken(text_, token, value(), suffix_);
  }
  template <typename Value>
  void Plain(const std::string& token, Value value) {
    if (PosCI(token, text_)) text_ = ReplaceAllCI(text_, token, value());
  }
  void Remove(const std::string& token) { text_ = ReplaceAllCI(text_, token, ""); }

  std::string& text() { return text_; }

 private:
  std::string text_;
  const std::string& suffix_;
};

std::string FirstPass(const PlaceholderAnswers& a, const std::string& text) {
  std::string r = text;
  if (size_t at = PosCI("<Date=", r)) {
    const size_t code = at - 1 + 6;
    // The code and the character after it (normally ">") make way for the date.
    if (code < r.size() && IsDateCode(r[code]) && r.find('>', code) != std::string::npos)
      r.replace(at - 1, 8, DateTokenText(r[code], a.Now(), a.LongMonthNames(), a.DateSeparator()));
  }
  static const std::string kEmpty;
  Expansion e(r, kEmpty);
  e.Plain("<LoggedUserName>", [&] { return a.LoggedUserName(); });
  e.Plain("<UserName>", [&] {
    std::string owner = a.RegisteredOwner();
    return owner.empty() ? a.LoggedUserName() : owner;
  });
  e.Plain("<CompanyName>", [&] { return a.RegisteredOrganization(); });
  e.Plain("<ComputerName>", [&] { return a.ComputerName(); });
  e.Plain("<CurrentDomainName>", [&] { return a.UserDomain(); });
  e.Plain("<LastExecutableExitCode>", [] { return std::string("0"); });
  e.Plain("<ReqFreeDiskSpaceMB>", [] { return std::string("0"); });
  // Nothing was entered during an installation here.
  for (const char* t : {"<EnteredUserName>", "<EnteredCompanyName>", "<EnteredSerialNum>",
                        "<EnteredStartProgramMenu>", "<VendorCompanyName>", "<ProjectName>",
                        "<ProgramDescriptiveName>", "<ProgramVersion>", "<SelectedLanguage>"})
    e.Remove(t);
  return e.text();
}

std::string FolderRows(const PlaceholderAnswers& a, const InstallFolders& f, const std::string& firstPass,
                       const std::string& suffix) {
  Expansion e(firstPass, suffix);
  std::string& r = e.text();
  auto value = [](const std::string& v) { return [v] { return v; }; };
  auto head = [](const std::string& v, size_t n) { return v.substr(0, n); };

  e.Remove("<UnInstallExePath>");
  if (PosCI("<RunTimeDir_", r))
    for (int i = 1; i <= 8; ++i) e.Folder("<RunTimeDir_" + IntToStr(i) + ">", value(""));
  e.Folder("<Application Folder>", value(f.application));
  e.Folder("<Common Folder>", value(f.common));
  e.Folder("<Auxiliary Folder>", value(f.auxiliary));
  e.Folder("<Windows Directory>", [&] { return a.WindowsDir(); });
  e.Folder("<System Directory>", [&] { return a.SystemDir(); });
  e.Folder("<System16 Directory>", [&] { return System16Folder(a); });
  // A text already expanded above names its folders itself: the install tokens in it
  // are mere markers.
  for (const char* t : {"<InstallDir>", "<InstallCommonDir>", "<InstallAuxDir>"})
    if (r != firstPass) e.Remove(t);
  e.Remove("<AbsoluteDir>");
  e.Folder("<InstallDir>", value(f.application));
  e.Folder("<InstallCommonDir>", value(f.common));
  e.Folder("<InstallAuxDir>", value(f.auxiliary));
  e.Remove("<AbsoluteDir>");
  e.Folder("<WinDir>", [&] { return a.WindowsDir(); });
  e.Folder("<WinSysDir>", [&] { return a.SystemDir(); });
  e.Folder("<WinSys32Dir>", [&] { return a.SystemDir(); });
  e.Folder("<WinSys16Dir>", [&] { return System16Folder(a); });
  for (size_t n : {size_t{3}, size_t{2}}) {
    const bool drive = n == 3;
    e.Plain(drive ? "<InstallDrive>" : "<InstallDisk>", [&] { return head(f.application, n); });
    e.Plain(drive ? "<WinDrive>" : "<WinDisk>", [&] { return head(a.WindowsDir(), n); });
    e.Plain(drive ? "<WinSysDrive>" : "<WinSysDisk>", [&] { return head(a.SystemDir(), n); });
    e.Plain(drive ? "<OriginDrive>" : "<OriginDisk>", [&] { return head(a.OriginFolder(), n); });
  }
  e.Folder("<StartMenuDir>", [&] { return a.RegistryText(kUserShellFolders, "Start Menu"); });
  e.Folder("<ProgramFilesDir>", [&] { return a.RegistryText(kCurrentVersion, "ProgramFilesDir"); });
  e.Folder("<CommonFilesDir>", [&] { return a.RegistryText(kCurrentVersion, "CommonFilesDir"); });
  e.Folder("<FontDir>", [&] {
    std::string fonts = a.RegistryText(kUserShellFolders, "Fonts");
    if (!fonts.empty() && a.FolderExists(fonts)) return fonts;
    return SetTrailingBackslash(a.WindowsDir(), true) + "Fonts";
  });
  e.Folder("<SrcDir>", [&] { return a.ProgramDir(); });
  e.Folder("<OriginDir>", [&] { return a.OriginFolder(); });
  e.Folder("<TempDir>", [&] { return a.TempDir(); });
  e.Folder("<ServiceDir>", [&] { return a.ProgramDir(); });
  for (const char* t : kShellFolderTokens) e.Folder(t, [&] { return a.ShellFolder(t); });
  // The suffix doubles a backslash the text already had after the token.
  if (r != firstPass) r = CollapseBackslashes(r, false);
  return r;
}

std::string Normalize(const PlaceholderAnswers& a, const std::string& text) {
  if (!HasDotDot(text)) return text;
  const int count = SUB::Count(text);
  if ((text[0] != ',' && text[0] != '|') || count < 1) return a.FullPath(text);
  const char sep = text[0];
  // One pass over the items; SetItem only when a full path brings the separator in.
  std::vector<std::string> items;
  items.reserve(static_cast<size_t>(count));
  size_t start = 1;
  for (int i = 0; i < count; ++i) {
    const size_t end = text.find(sep, start);
    items.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  std::string joined(1, sep);
  bool sepInside = false;
  for (std::string& item : items) {
    if (HasDotDot(item)) item = a.FullPath(item);
    sepInside = sepInside || item.find(sep) != std::string::npos;
    joined += item;
    joined += sep;
  }
  if (!sepInside) return joined;
  std::string r = text;
  for (int i = 0; i < count; ++i)
    if (HasDotDot(SUB::Item(text, i))) r = SUB::SetItem(r, i, items[static_cast<size_t>(i)]);
  return r;
}

}  // namespace

std::string ReplaceFolderToken(const std::string& text, const std::string& token, const std::string& value,
                               const std::string& suffix) {
  const size_t at = PosCI(token, text);
  if (at == 0) return text;
  const size_t after = at - 1 + token.size();
  bool drop = after >= text.size() || text[after] == ' ';
  if (!drop) {
    const char c = text[after];
    drop = text.front() == text.back() && c == text.front() && c != '<' && !IsAsciiLetter(c);
  }
  return ReplaceAllCI(text, token, drop ? value : value + suffix);
}

std::string DateTokenText(char code, const LocalDateTime& now, const std::string& longMonthNames,
                          const std::string& dateSeparator) {
  const std::string dd = ZeroPad(now.day, 2), mm = ZeroPad(now.month, 2);
  const std::string yy = ZeroPad(now.year % 100, 2), yyyy = ZeroPad(now.year, 4);
  switch (code) {
    case '#':
      return dd + dateSeparator + SUB::Item(longMonthNames, now.month - 1) + dateSeparator + yyyy;
    case '0': {
      int64_t s = 0, epoch = 0;
      LocalDateTime y2k;
      y2k.year = 2000, y2k.month = 1, y2k.day = 1;
      if (!SecondsFromDateTime(now, s) || !SecondsFromDateTime(y2k, epoch)) return "";
      return IntToStr((s - epoch) / 86400);
    }
    case '1': return dd + "-" + mm + "-" + yy;
    case '2': return mm + "-" + dd + "-" + yy;
    case '3': return yy + "-" + mm + "-" + dd;
    case '4': return dd + "-" + mm + "-" + yyyy;
    case '5': return mm + "-" + dd + "-" + yyyy;
    case '6': return yyyy + "-" + mm + "-" + dd;
    case '7':
      return yyyy + "-" + mm + "-" + dd + " " + ZeroPad(now.hour, 2) + ":" + ZeroPad(now.minute, 2) + ":" +
             ZeroPad(now.second, 2);
    default: return "";
  }
}

std::string OriginFolderOf(const std::string& originExe, const std::string& programPath,
                           const std::string& programDir) {
  const std::string& path = originExe.empty() ? programPath : originExe;
  const size_t delim = path.find_last_of("\\:");
  std::string folder = delim == std::string::npos ? "" : NoTrailingBackslash(path.substr(0, delim + 1));
  return folder.empty() ? programDir : folder;
}

std::string System16Folder(const PlaceholderAnswers& a) {
  const std::string system = a.SystemDir();
  std::string candidate = system;
  if (size_t at = LastPos("32", candidate)) candidate.erase(at - 1, 2);
  if (!candidate.empty() && a.FolderExists(candidate)) return candidate;
  const std::string windows = a.WindowsDir();
  if (!windows.empty() && a.FolderExists(SetTrailingBackslash(windows, true) + "System"))
    return SetTrailingBackslash(windows, true) + "System";
  return system;
}

std::string ExpandPlaceholders(const PlaceholderAnswers& answers, const InstallFolders& installFolders,
                               const std::string& text, const std::string& suffix, bool normalize,
                               bool folders) {
  std::string r = text;
  if (r.find('<') != std::string::npos) {
    r = FirstPass(answers, r);
    if (folders) r = FolderRows(answers, installFolders, r, suffix);
  }
  return normalize ? Normalize(answers, r) : r;
}
