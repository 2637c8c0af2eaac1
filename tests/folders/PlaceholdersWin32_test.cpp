// Placeholders against the Wine prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include "folders/Placeholders.h"
#include "util/Files.h"

TEST(PlaceholdersWin32, FoldersOfTheRunningSystem) {
  char windows[MAX_PATH] = {}, module[MAX_PATH] = {};
  ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
  ASSERT_GT(GetModuleFileNameA(nullptr, module, MAX_PATH), 0u);
  std::string exeDir(module);
  exeDir.resize(exeDir.rfind('\\'));

  EXPECT_EQ(ExpandPlaceholders("<WinDir>\\notepad.exe", "\\", true, true), std::string(windows) + "\\notepad.exe");
  EXPECT_EQ(ExpandPlaceholders("|<TempDir>|<SrcDir>|", "\\", true, true), "|" + TempDir(false) + "|" + exeDir + "|");
  EXPECT_TRUE(FolderExists(ExpandPlaceholders("<TempDir>", "\\", false, true)));
  // No "/OriginExe=" here: the origin is the program's own folder.
  EXPECT_EQ(ExpandPlaceholders("<OriginDir>", "\\", false, true), exeDir);
  EXPECT_EQ(ExpandPlaceholders("<WinDir>\\..\\x.exe", "\\", true, true),
            std::string(windows).substr(0, 3) + "x.exe");

  SetInstallFolders("C:\\Apps", "C:\\Common", "C:\\Aux");
  EXPECT_EQ(ExpandPlaceholders("<InstallDir>MyApp\\app.exe", "\\", true, true), "C:\\Apps\\MyApp\\app.exe");

  auto today = [] {
    SYSTEMTIME st;
    GetLocalTime(&st);
    char date[16];
    wsprintfA(date, "%04u-%02u-%02u", st.wYear, st.wMonth, st.wDay);
    return std::string(date);
  };
  const std::string before = today();
  const std::string text = DateTokenText('6');
  EXPECT_TRUE(text == before || text == today()) << text;  // midnight may pass in between
  EXPECT_NE(DateTokenText('#').find(before.substr(0, 4)), std::string::npos);
}
