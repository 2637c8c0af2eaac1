// The language file beside the running program.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TestFiles.h"
#include "util/LanguageFile.h"

TEST(LanguageFileWin32, ReadsTheStringsSection) {
  std::string path = LanguageFilePath();
  std::filesystem::path folder = std::filesystem::path(path).parent_path();
  bool existed = std::filesystem::exists(path);
  ASSERT_FALSE(existed) << "a stray language file lies at " << path;
  EXPECT_EQ(LanguageString("Next", "Next >"), "Next >");  // no file: every default
  std::filesystem::create_directories(folder);
  WriteBytes(path, "[STRINGS]\r\nNext=|  Next|\r\nEmpty=\r\nBar=|\r\nCopy=Copy <?> now <?>\r\n");
  EXPECT_EQ(LanguageString("Next", "d"), "  Next");
  EXPECT_EQ(LanguageString("Empty", "d"), "d");
  EXPECT_EQ(LanguageString("Bar", "d"), "d");
  EXPECT_EQ(LanguageString("Missing", "d"), "d");
  EXPECT_EQ(LanguageStringArg("Copy", "d", "a.txt"), "Copy a.txt now a.txt");
  std::filesystem::remove_all(folder.parent_path());
}
