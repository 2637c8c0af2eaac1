#include "folders/Placeholders.h"

#include <cstdint>
#include <initializer_list>
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

// Where the value of a token comes from.
enum class From : uint8_t {
  kNothing, kZero, kLoggedUserName, kUserName, kCompanyName, kComputerName, kDomainName,
  kApplication, kCommon, kAuxiliary, kWindows, kSystem, kSystem16, kStartMenu, kProgramFiles,
  kCommonFiles, kFonts, kProgram, kOrigin, kTemp, kShellFolder,
};

struct Row {
  const char* token;
  From from;
};

// The text being expanded; values are only asked for when their token is present.
// Tokens go through tables and one value switch: a call per token of its own would
// cost a copy of the lookup and replacement code each.
class Expansion {
 public:
  Expansion(std::string text, const std::string& suffix, const PlaceholderAnswers& a, const InstallFolders* f)
      : text_(std::move(text)), suffix_(suffix), a_(a), f_(f) {}

  void Folder(const std::string& token, From from) {
    if (PosCI(token, text_)) text_ = ReplaceFolderToken(text_, token, Value(from, token), suffix_);
  }
  void Folders(std::initializer_list<Row> rows) {
    for (const Row& row : rows) Folder(row.token, row.from);
  }
  // Without the folder suffix; with length, only the first length characters of the value.
  void Plains(std::initializer_list<Row> rows, size_t length = std::string::npos) {
    for (const Row& row : rows) {
      const std::string token = row.token;
      if (PosCI(token, text_)) text_ = ReplaceAllCI(text_, token, Value(row.from, token).substr(0, length));
    }
  }
  void Remove(const std::string& token) { text_ = ReplaceAllCI(text_, token, ""); }

  std::string& text() { return text_; }

 private:
  std::string Value(From from, const std::string& token) const {
    switch (from) {
      case From::kNothing: return "";
      case From::kZero: return "0";
      case From::kLoggedUserName: return a_.LoggedUserName();
      case From::kUserName: {
        std::string owner = a_.RegisteredOwner();
        return owner.empty() ? a_.LoggedUserName() : owner;
      }
      case From::kCompanyName: return a_.RegisteredOrganization();
      case From::kComputerName: return a_.ComputerName();
      case From::kDomainName: return a_.UserDomain();
      case From::kApplication: return f_->application;
      case From::kCommon: return f_->common;
      case From::kAuxiliary: return f_->auxiliary;
      case From::kWindows: return a_.WindowsDir();
      case From::kSystem: return a_.SystemDir();
      case From::kSystem16: return System16Folder(a_);
      case From::kStartMenu: return a_.RegistryText(kUserShellFolders, "Start Menu");
      case From::kProgramFiles: return a_.RegistryText(kCurrentVersion, "ProgramFilesDir");
      case From::kCommonFiles: return a_.RegistryText(kCurrentVersion, "CommonFilesDir");
      case From::kFonts: {
        std::string fonts = a_.RegistryText(kUserShellFolders, "Fonts");
        if (!fonts.empty() && a_.FolderExists(fonts)) return fonts;
        return SetTrailingBackslash(a_.WindowsDir(), true) + "Fonts";
      }
      case From::kProgram: return a_.ProgramDir();
      case From::kOrigin: return a_.OriginFolder();
      case From::kTemp: return a_.TempDir();
      case From::kShellFolder: return a_.ShellFolder(token);
    }
    return "";
  }

  std::string text_;
  const std::string& suffix_;
  const PlaceholderAnswers& a_;
  const InstallFolders* f_;  // only for the folder rows
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
  Expansion e(r, kEmpty, a, nullptr);
  e.Plains({{"<LoggedUserName>", From::kLoggedUserName},
            {"<UserName>", From::kUserName},
            {"<CompanyName>", From::kCompanyName},
            {"<ComputerName>", From::kComputerName},
            {"<CurrentDomainName>", From::kDomainName},
            {"<LastExecutableExitCode>", From::kZero},
            {"<ReqFreeDiskSpaceMB>", From::kZero}});
  // Nothing was entered during an installation here.
  for (const char* t : {"<EnteredUserName>", "<EnteredCompanyName>", "<EnteredSerialNum>",
                        "<EnteredStartProgramMenu>", "<VendorCompanyName>", "<ProjectName>",
                        "<ProgramDescriptiveName>", "<ProgramVersion>", "<SelectedLanguage>"})
    e.Remove(t);
  return e.text();
}

std::string FolderRows(const PlaceholderAnswers& a, const InstallFolders& f, const std::string& firstPass,
                       const std::string& suffix) {
  Expansion e(firstPass, suffix, a, &f);
  std::string& r = e.text();

  e.Remove("<UnInstallExePath>");
  if (PosCI("<RunTimeDir_", r))
    for (int i = 1; i <= 8; ++i) e.Folder("<RunTimeDir_" + IntToStr(i) + ">", From::kNothing);
  e.Folders({{"<Application Folder>", From::kApplication},
             {"<Common Folder>", From::kCommon},
             {"<Auxiliary Folder>", From::kAuxiliary},
             {"<Windows Directory>", From::kWindows},
             {"<System Directory>", From::kSystem},
             {"<System16 Directory>", From::kSystem16}});
  // A text already expanded above names its folders itself: the install tokens in it
  // are mere markers.
  for (const char* t : {"<InstallDir>", "<InstallCommonDir>", "<InstallAuxDir>"})
    if (r != firstPass) e.Remove(t);
  e.Remove("<AbsoluteDir>");
  e.Folders({{"<InstallDir>", From::kApplication},
             {"<InstallCommonDir>", From::kCommon},
             {"<InstallAuxDir>", From::kAuxiliary}});
  e.Remove("<AbsoluteDir>");
  e.Folders({{"<WinDir>", From::kWindows},
             {"<WinSysDir>", From::kSystem},
             {"<WinSys32Dir>", From::kSystem},
             {"<WinSys16Dir>", From::kSystem16}});
  e.Plains({{"<InstallDrive>", From::kApplication},
            {"<WinDrive>", From::kWindows},
            {"<WinSysDrive>", From::kSystem},
            {"<OriginDrive>", From::kOrigin}},
           3);
  e.Plains({{"<InstallDisk>", From::kApplication},
            {"<WinDisk>", From::kWindows},
            {"<WinSysDisk>", From::kSystem},
            {"<OriginDisk>", From::kOrigin}},
           2);
  e.Folders({{"<StartMenuDir>", From::kStartMenu},
             {"<ProgramFilesDir>", From::kProgramFiles},
             {"<CommonFilesDir>", From::kCommonFiles},
             {"<FontDir>", From::kFonts},
             {"<SrcDir>", From::kProgram},
             {"<OriginDir>", From::kOrigin},
             {"<TempDir>", From::kTemp},
             {"<ServiceDir>", From::kProgram}});
  for (const char* t : kShellFolderTokens) e.Folder(t, From::kShellFolder);
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
    case '1': case '2': case '3': case '4': case '5': case '6': case '7': {
      // Day, month and year joined by "-", in the order of the code; y two digits, Y four.
      static constexpr char kOrders[7][4] = {"dmy", "mdy", "ymd", "dmY", "mdY", "Ymd", "Ymd"};
      std::string r;
      for (const char* part = kOrders[code - '1']; *part; ++part) {
        if (!r.empty()) r += '-';
        r += *part == 'd' ? dd : *part == 'm' ? mm : *part == 'y' ? yy : yyyy;
      }
      if (code == '7') {
        const int clock[] = {now.hour, now.minute, now.second};
        for (int i = 0; i < 3; ++i) r += (i ? ":" : " ") + ZeroPad(clock[i], 2);
      }
      return r;
    }
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
