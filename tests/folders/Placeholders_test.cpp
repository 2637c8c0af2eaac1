#include "folders/Placeholders.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

namespace {

// A system described by fixed answers.
struct FakeAnswers final : PlaceholderAnswers {
  std::string user = "ann", owner = "Ann Owner", organization = "Acme", computer = "BOX", domain = "WORK";
  std::string windows = "C:\\WINDOWS", system = "C:\\WINDOWS\\system32", temp = "C:\\Temp";
  std::string program = "C:\\Agent", origin = "D:\\Dl";
  std::map<std::string, std::string> registry;  // value name -> text
  std::set<std::string> existing;
  std::map<std::string, std::string> shell;
  LocalDateTime now{2026, 3, 7, 14, 5, 9};

  std::string LoggedUserName() const override { return user; }
  std::string RegisteredOwner() const override { return owner; }
  std::string RegisteredOrganization() const override { return organization; }
  std::string ComputerName() const override { return computer; }
  std::string UserDomain() const override { return domain; }
  std::string WindowsDir() const override { return windows; }
  std::string SystemDir() const override { return system; }
  std::string TempDir() const override { return temp; }
  std::string ProgramDir() const override { return program; }
  std::string OriginFolder() const override { return origin; }
  std::string RegistryText(const std::string& location, const std::string& value) const override {
    auto it = registry.find(location + "|" + value);
    return it == registry.end() ? "" : it->second;
  }
  bool FolderExists(const std::string& path) const override { return existing.count(path) > 0; }
  std::string ShellFolder(const std::string& placeholder) const override {
    auto it = shell.find(placeholder);
    return it == shell.end() ? "" : it->second;
  }
  LocalDateTime Now() const override { return now; }
  std::string LongMonthNames() const override {
    return "|January|February|March|April|May|June|July|August|September|October|November|December|";
  }
  std::string DateSeparator() const override { return "."; }
  std::string FullPath(const std::string& path) const override { return "FULL(" + path + ")"; }
};

const std::string kShellKey =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::string kVersionKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

const InstallFolders kInstall{"C:\\Apps", "C:\\Common", "E:\\Aux"};

std::string Expand(const FakeAnswers& a, const std::string& text, bool normalize = true, bool folders = true) {
  return ExpandPlaceholders(a, kInstall, text, "\\", normalize, folders);
}

struct Case {
  const char* text;
  const char* expected;
};

}  // namespace

TEST(Placeholders, SuffixIsKeptOrDroppedOnTheFirstOccurrence) {
  const Case cases[] = {
      {"<InstallDir>MyApp\\app.exe", "C:\\Apps\\MyApp\\app.exe"},
      {"<InstallDir>", "C:\\Apps"},                          // token ends the text
      {"<InstallDir> /x", "C:\\Apps /x"},                    // a blank follows
      {"|<InstallDir>|", "|C:\\Apps|"},                      // before a list separator
      {"a<InstallDir>a", "aC:\\Apps\\a"},                    // a letter is no separator
      {"<<InstallDir><", "<C:\\Apps\\<"},                    // nor is "<"
      {"<installdir>x|<INSTALLDIR>", "C:\\Apps\\x|C:\\Apps\\"},  // decided once: kept
      {"|<InstallDir>|<InstallDir>x|", "|C:\\Apps|C:\\Appsx|"},  // decided once: dropped
      {"no token", "no token"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ReplaceFolderToken(c.text, "<InstallDir>", "C:\\Apps", "\\"), c.expected) << c.text;
}

TEST(Placeholders, ExpansionOfNamesFoldersAndLists) {
  FakeAnswers a;
  a.registry[kShellKey + "|Start Menu"] = "C:\\Menu";
  a.registry[kVersionKey + "|ProgramFilesDir"] = "C:\\Program Files";
  a.shell["<UserDesktopDir>"] = "C:\\Users\\ann\\Desktop";
  const Case cases[] = {
      {"|<WinDir>|<TempDir>|", "|C:\\WINDOWS|C:\\Temp|"},
      // Row 3 expands the first token, so row 5 takes "<InstallDir>" for a marker.
      {"<Application Folder>\\<InstallDir>x.exe", "C:\\Apps\\x.exe"},
      {"<windir>\\notepad.exe", "C:\\WINDOWS\\notepad.exe"},
      {"<InstallCommonDir>a<InstallAuxDir>b", "C:\\Common\\aE:\\Aux\\b"},
      {"<Common Folder>x <InstallAuxDir>y", "C:\\Common\\x y"},
      {"<LoggedUserName>,<username>,<CompanyName>,<ComputerName>,<CurrentDomainName>",
       "ann,Ann Owner,Acme,BOX,WORK"},
      {"<LastExecutableExitCode><ReqFreeDiskSpaceMB><ProjectName><EnteredSerialNum>", "00"},
      {"<UnInstallExePath>x<AbsoluteDir>y", "xy"},
      {"<RunTimeDir_3>x.dll", "\\x.dll"},
      {"<InstallDrive>x|<WinDisk>|<OriginDrive>|<WinSysDisk>", "C:\\x|C:|D:\\|C:"},
      {"<StartMenuDir>Programs", "C:\\Menu\\Programs"},
      {"<ProgramFilesDir>App\\<CommonFilesDir>x", "C:\\Program Files\\App\\x"},  // missing value: ""
      {"<FontDir>a.ttf", "C:\\WINDOWS\\Fonts\\a.ttf"},
      {"<SrcDir>a.exe <ServiceDir>b.exe <OriginDir>c.exe", "C:\\Agent\\a.exe C:\\Agent\\b.exe D:\\Dl\\c.exe"},
      {"<UserDesktopDir>x.lnk|<AllUsersDesktopDir>", "C:\\Users\\ann\\Desktop\\x.lnk|"},
      {"<System Directory>\\\\a\\\\b", "C:\\WINDOWS\\system32\\a\\b"},
      {"<Unknown>\\\\x", "<Unknown>\\\\x"},  // nothing replaced: no collapse either
      {"C:\\plain\\b.exe", "C:\\plain\\b.exe"},
      {"C:\\a\\..\\b.exe", "FULL(C:\\a\\..\\b.exe)"},
      {"|C:\\a\\..\\b|c:\\x|..\\y|", "|FULL(C:\\a\\..\\b)|c:\\x|FULL(..\\y)|"},
      {",<InstallDir>..\\z,", ",FULL(C:\\Apps\\..\\z),"},
  };
  for (const Case& c : cases) EXPECT_EQ(Expand(a, c.text), c.expected) << c.text;
  EXPECT_EQ(Expand(a, "C:\\a\\..\\b.exe", false), "C:\\a\\..\\b.exe");
  EXPECT_EQ(Expand(a, "<WinDir>x <ComputerName>", true, false), "<WinDir>x BOX");
}

TEST(Placeholders, RowsRunInTheirOrder) {
  FakeAnswers a;
  a.shell["<UserDir>"] = "C:\\U\\<InstallDir>";
  // Install folders may name the Windows folder: row 9 comes after row 7.
  InstallFolders f{"<WinDir>\\Apps", "", "<ComputerName>"};
  EXPECT_EQ(ExpandPlaceholders(a, f, "<InstallDir>x", "\\", false, true), "C:\\WINDOWS\\Apps\\x");
  // The first pass is over when the folders come in.
  EXPECT_EQ(ExpandPlaceholders(a, f, "<InstallAuxDir>", "\\", false, true), "<ComputerName>");
  // Shell folders come last: what they bring along stays.
  EXPECT_EQ(Expand(a, "<UserDir>"), "C:\\U\\<InstallDir>");
}

TEST(Placeholders, MissingAnswersFallBack) {
  FakeAnswers a;
  a.owner.clear();
  a.registry[kShellKey + "|Fonts"] = "D:\\Fonts";
  EXPECT_EQ(Expand(a, "<UserName>"), "ann");
  EXPECT_EQ(Expand(a, "<FontDir>"), "C:\\WINDOWS\\Fonts");  // the registry's folder is missing
  a.existing.insert("D:\\Fonts");
  EXPECT_EQ(Expand(a, "<FontDir>"), "D:\\Fonts");
  EXPECT_EQ(Expand(a, "<StartMenuDir>x"), "\\x");

  EXPECT_EQ(Expand(a, "<WinSys16Dir>"), "C:\\WINDOWS\\system32");
  a.existing.insert("C:\\WINDOWS\\System");
  EXPECT_EQ(Expand(a, "<System16 Directory>"), "C:\\WINDOWS\\System");
  a.existing.insert("C:\\WINDOWS\\system");
  EXPECT_EQ(Expand(a, "<WinSys16Dir>"), "C:\\WINDOWS\\system");

  EXPECT_EQ(OriginFolderOf("D:\\Dl\\setup.exe", "C:\\P\\stub.exe", "C:\\P"), "D:\\Dl");
  EXPECT_EQ(OriginFolderOf("", "C:\\P\\stub.exe", "C:\\P"), "C:\\P");
  EXPECT_EQ(OriginFolderOf("setup.exe", "C:\\P\\stub.exe", "C:\\P"), "C:\\P");
  EXPECT_EQ(OriginFolderOf("E:\\setup.exe", "", "C:\\P"), "E:");
}

TEST(Placeholders, DateTokens) {
  FakeAnswers a;
  const Case cases[] = {
      {"<Date=#>", "07.March.2026"},
      {"<Date=0>", "9562"},
      {"<date=1>", "07-03-26"},
      {"<Date=2>", "03-07-26"},
      {"<Date=3>", "26-03-07"},
      {"<Date=4>", "07-03-2026"},
      {"<Date=5>", "03-07-2026"},
      {"x<Date=6>y<Date=6>", "x2026-03-07y<Date=6>"},  // the first one only
      {"<Date=7>", "2026-03-07 14:05:09"},
      {"<Date=1]x>", "07-03-26x>"},                     // any character closes the code
      {"<Date=8>", "<Date=8>"},
      {"<Date=1", "<Date=1"},
      {"<Date=1]", "<Date=1]"},                         // no ">" after it
      {"<Date=", "<Date="},
  };
  for (const Case& c : cases) EXPECT_EQ(Expand(a, c.text, false, false), c.expected) << c.text;
  EXPECT_EQ(DateTokenText('9', a.now, a.LongMonthNames(), "/"), "");
}
