// Agent settings against real INI files, the real registry and the real clock.
#include <windows.h>

#include <gtest/gtest.h>

#include "agent/AgentSettings.h"
#include "package/PackageReader.h"
#include "support/TestFiles.h"

namespace {

const char* const kPrivateKey = "Software\\StubTests\\AgentSettings";

struct Query {
  const char* section;
  const char* key;
};

}  // namespace

TEST(IniFileWin32, TextReaderAnswersAsTheSystemDoes) {
  TempDir dir;
  const std::string texts[] = {
      "; comment\r\n  [Main]  \r\n  Name  =  Demo Value  \r\nNAME=second\r\nEmpty=\r\nBlank=   \r\n"
      "Quoted=\"  spaced  \"\r\nSingle='x'\r\nMixed=\"x'\r\nLone=\"\r\nBothEmpty=\"\"\r\nNoEquals\r\n"
      "Eq=a=b\r\n[Other]\r\nName=other\r\n[main]\r\nLate=second main\r\n",
      "[Main]\nName=lf only\nTab=\tx\t\n[Last]\nEnd=no newline",
      "top=1\r\n[ Main ]\r\nName=spaced section\r\n[Main\r\nName=open bracket\r\nLost=1\r\n[Open\r\n"
      "Found=2\r\n",
  };
  const Query queries[] = {{"Main", "Name"},      {"main", "NAME"},  {" Main ", " Name "}, {"Main", "Empty"},
                           {"Main", "Blank"},     {"Main", "Quoted"}, {"Main", "Single"},  {"Main", "Mixed"},
                           {"Main", "Lone"},      {"Main", "BothEmpty"}, {"Main", "NoEquals"}, {"Main", "Eq"},
                           {"Other", "Name"},     {"Main", "Late"},  {"Main", "Tab"},     {"Last", "End"},
                           {"Missing", "Name"},   {"Main", "Missing"}, {" Main ", "Name"}, {"[Main", "Name"},
                           {"Main", "Lost"},      {"Open", "Found"}, {"Main", "Found"}};
  int n = 0;
  for (const std::string& text : texts) {
    const std::string path = dir.File("parity" + std::to_string(n++) + ".ini");
    WriteBytes(path, text);
    IniFile file(path);
    IniText mine(text);
    for (const Query& q : queries)
      EXPECT_EQ(mine.Read(q.section, q.key, "<def>"), file.Read(q.section, q.key, "<def>"))
          << "file " << n - 1 << " [" << q.section << "] " << q.key;
  }
}

TEST(IniFileWin32, SettersAndGettersOverARealFile) {
  TempDir dir;
  AgentFiles files = AgentFilesIn(dir.Path(), "Product.setup.info", "Product.original");
  ASSERT_FALSE(files.originalFile.empty());
  WriteBytes(files.infoFile,
             "[NewSetup]\r\nNameOfUpdateFile=Update.exe\r\nRequestConfirmationBeforeDownload=0\r\n"
             "RequestConfirmationBeforeInstall=yes\r\nSizeOfUpdateFile=123456\r\nStamp=42\r\n"
             "[AutoInform]\r\nAutoInformW=\r\n");
  IniFile info(files.infoFile);
  OverrideSwitches sw;
  EXPECT_EQ(GetNameOfUpdateFile(info), "Update.exe");
  EXPECT_EQ(GetSizeOfUpdateFile(info), 123456);
  EXPECT_EQ(GetStamp(info), 42);
  EXPECT_EQ(GetAutoInformW(info), 360);
  EXPECT_FALSE(GetRequestConfirmationBeforeDownload(info, sw));
  EXPECT_FALSE(GetRequestConfirmationBeforeInstall(info, sw));
  ASSERT_TRUE(sw.Set(kOverrideConfirmDownload, 1));
  EXPECT_TRUE(GetRequestConfirmationBeforeDownload(info, sw));

  IniFile original(files.originalFile);  // does not exist yet
  SecondsFloor floor;
  EXPECT_EQ(GetProbeSecondsLast(original, floor), 0);
  EXPECT_EQ(GetMsgBoxFontName(original), "Tahoma");
  EXPECT_TRUE(SetProbeSecondsInterval(original, 3600));
  EXPECT_TRUE(SetProbeSecondsLast(original, 3282483789LL, floor));
  EXPECT_TRUE(SetReAskSecondsInterval(original, 86400));
  EXPECT_TRUE(SetReAskSecondsLast(original, 172800));
  EXPECT_TRUE(SetVersionOriginal(original, 205));
  EXPECT_TRUE(SetOriginalStamp(original, GetStamp(info)));
  EXPECT_EQ(GetProbeSecondsInterval(original), 3600);
  EXPECT_EQ(GetProbeSecondsLast(original, SecondsFloor()), 3282483789LL);
  EXPECT_EQ(GetReAskSecondsInterval(original), 86400);
  EXPECT_EQ(GetReAskSecondsLast(original), 172800);
  EXPECT_EQ(GetVersionOriginal(original), 205);
  EXPECT_EQ(GetOriginalStamp(original), 42);
  const std::string bytes = ReadBytes(files.originalFile);
  EXPECT_NE(bytes.find("__ProbeSecondsLast=05-JAN-2004 17:03:09"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("__ReAskSecondsLast=01-JAN-1900 00:00:00"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("ProbeSecondsLast=3282483789"), std::string::npos) << bytes;

  // A line break cannot smuggle a second key into the file.
  EXPECT_FALSE(original.Write("OriginalSetup", "ProgramName", "x\r\nVersionOriginal=1"));
  EXPECT_EQ(GetVersionOriginal(original), 205);
  EXPECT_EQ(GetOriginalProgramName(original), "");
}

TEST(IniFileWin32, FailedProbeWriteKeepsTheFloor) {
  TempDir dir;
  IniFile nowhere(dir.File("no such folder\\Product.original"));
  SecondsFloor floor;
  EXPECT_FALSE(SetProbeSecondsLast(nowhere, 5000, floor));
  EXPECT_EQ(GetProbeSecondsLast(nowhere, floor), 5000);
  EXPECT_EQ(GetProbeSecondsLast(nowhere, SecondsFloor()), 0);
  EXPECT_FALSE(IsProbeDue(5030, GetProbeSecondsLast(nowhere, floor), 60));
  IniFile none("");
  EXPECT_FALSE(SetVersionOriginal(none, 1));
  EXPECT_EQ(GetVersionOriginal(none), 0);
}

TEST(InfoFileWin32, ReplacedOnlyByACompleteFetch) {
  TempDir dir;
  const std::string info = dir.File("Product.info");
  const std::string temp = InfoFileTempPath(info);
  WriteBytes(info, "[NewSetup]\r\nVersionNew=1\r\n");
  WriteBytes(temp, "[NewSetup]\r\nVersionNew=2\r\n");
  EXPECT_TRUE(ReplaceInfoFile(temp, info));
  EXPECT_EQ(GetVersionNew(IniFile(info)), 2);
  EXPECT_EQ(GetFileAttributesA(temp.c_str()), INVALID_FILE_ATTRIBUTES);

  // Nothing fetched: the old file stays.
  EXPECT_FALSE(ReplaceInfoFile(temp, info));
  EXPECT_EQ(GetVersionNew(IniFile(info)), 2);

  // The move fails (the target is a folder): the temporary file goes, the folder stays.
  const std::string folder = dir.File("Busy.info");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  WriteBytes(temp, "x");
  EXPECT_FALSE(ReplaceInfoFile(temp, folder));
  EXPECT_EQ(GetFileAttributesA(temp.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_FALSE(ReplaceInfoFile(info, info));
  EXPECT_EQ(GetVersionNew(IniFile(info)), 2);
}

TEST(ClockWin32, TodayAndNowFollowTheLocalClock) {
  SYSTEMTIME before{}, after{};
  GetLocalTime(&before);
  const std::string today = DateText();
  const int64_t now = AgentNowSeconds();
  GetLocalTime(&after);
  const std::string dayBefore = DateTextOf({before.wYear, before.wMonth, before.wDay});
  const std::string dayAfter = DateTextOf({after.wYear, after.wMonth, after.wDay});
  EXPECT_TRUE(today == dayBefore || today == dayAfter) << today;
  const int64_t low = *SecondsOf({before.wYear, before.wMonth, before.wDay, before.wHour, before.wMinute,
                                  before.wSecond});
  const int64_t high = *SecondsOf({after.wYear, after.wMonth, after.wDay, after.wHour, after.wMinute,
                                   after.wSecond}, 999);
  EXPECT_GE(now, low);
  EXPECT_LE(now, high);
}

TEST(AgentFilesWin32, BesideTheRunningProgram) {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  ASSERT_GT(n, 0u);
  TGFileInfo own(std::string(path, n));  // the test program carries no package
  AgentFiles files = OwnAgentFiles(own);
  EXPECT_EQ(files.folder, FolderOfPath(std::string(path, n)));
  EXPECT_EQ(files.infoFile, "");
  EXPECT_EQ(files.originalFile, "");
}

namespace {

void SetString(HKEY key, const char* name, const std::string& value) {
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), DWORD(value.size() + 1));
}

}  // namespace

TEST(TestModeWin32, RealRegistryValues) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kPrivateKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::string at = std::string("HKEY_CURRENT_USER\\") + kPrivateKey;
  const std::string today = DateText();
  SetString(key, "TestMode", "1");
  SetString(key, "TestModeDate", today);
  SetString(key, "TestModeURL", "C:\\TestSource\\");
  RegistryValues registry;
  TestModeState state;
  EXPECT_TRUE(state.IsTestMode(false, GetTickCount(), today, registry, at));
  EXPECT_EQ(state.Location(), "C:\\TestSource\\");

  // Yesterday's date leaves it off even with TestMode "1".
  SetString(key, "TestModeDate", "01-JAN-2000");
  EXPECT_FALSE(state.IsTestMode(true, GetTickCount(), today, registry, at));
  EXPECT_EQ(state.Location(), "");

  // A DWORD 1 reads as the text "1".
  SetString(key, "TestModeDate", today);
  DWORD one = 1;
  RegSetValueExA(key, "TestMode", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
  EXPECT_TRUE(state.IsTestMode(true, GetTickCount(), today, registry, at));
  RegDeleteValueA(key, "TestMode");
  EXPECT_FALSE(state.IsTestMode(true, GetTickCount(), today, registry, at));
  RegCloseKey(key);
  RegDeleteKeyA(HKEY_CURRENT_USER, kPrivateKey);
  EXPECT_FALSE(state.IsTestMode(true, GetTickCount(), today, registry, at));
}

TEST(TestModeWin32, ProcessWideStateUsesTheFixedKey) {
  const char* fixed = "Software\\Dravonel\\Vabrix\\AutoUpdate";
  HKEY probe = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, fixed, 0, KEY_READ, &probe) == ERROR_SUCCESS) {
    RegCloseKey(probe);
    GTEST_SKIP() << "the real test-mode key exists here; left untouched";
  }
  // Parents are removed afterwards only when this test made them.
  auto exists = [](const char* sub) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, sub, 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
  };
  const bool hadVabrix = exists("Software\\Dravonel\\Vabrix"), hadDravonel = exists("Software\\Dravonel");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, fixed, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  SetString(key, "TestMode", "1");
  SetString(key, "TestModeDate", DateText());
  SetString(key, "TestModeURL", "\\\\server\\agent\\");
  EXPECT_TRUE(IsTestMode(true));
  EXPECT_EQ(GetTestModeLocation(), "\\\\server\\agent\\");
  SetString(key, "TestMode", "0");
  EXPECT_TRUE(IsTestMode(false));  // read less than 30 s ago
  EXPECT_FALSE(IsTestMode(true));
  RegCloseKey(key);
  RegDeleteKeyA(HKEY_CURRENT_USER, fixed);
  if (!hadVabrix) RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Dravonel\\Vabrix");
  if (!hadDravonel) RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Dravonel");
  EXPECT_FALSE(exists(fixed));
}

TEST(OverridesWin32, ProcessWideSwitches) {
  OverrideSwitches& sw = AgentOverrides();
  const std::string saved = sw.ListText();
  sw.SetFromText("|1|0|255|255|255|255|255|2|");
  EXPECT_EQ(AgentOverrides().ListText(), "|1|0|255|255|255|255|255|2|");
  sw.SetFromText(saved);
  EXPECT_EQ(AgentOverrides().ListText(), saved);
}
