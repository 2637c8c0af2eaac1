// Shell folders of the Wine prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include "folders/ShellFolders.h"

namespace {
bool IsFolder(const std::string& p) {
  DWORD a = GetFileAttributesA(p.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}
}  // namespace

TEST(ShellDirWin32, RealFoldersExistAndNest) {
  std::string documents = ShellFolder("<MyDocumentsDir>");
  std::string user = ShellFolder("<UserDir>");
  ASSERT_FALSE(documents.empty());
  EXPECT_TRUE(IsFolder(documents)) << documents;
  EXPECT_TRUE(IsFolder(user)) << user;
  EXPECT_EQ(documents.rfind(user + "\\", 0), 0u) << documents << " is not inside " << user;
  EXPECT_TRUE(IsFolder(ShellFolder("<UserAppDataDir>")));
  EXPECT_TRUE(IsFolder(ShellFolder("<AllUsersAppDataDir>")));
  for (const char* p : {"<UserDir>", "<AllUsersDir>", "<UserDesktopDir>", "<AllUsersStartMenuDir>"}) {
    std::string withSlash = ShellFolder(p, true);
    ASSERT_GE(withSlash.size(), 2u) << p;
    EXPECT_EQ(withSlash.back(), '\\') << p;
    EXPECT_NE(withSlash[withSlash.size() - 2], '\\') << p;
    EXPECT_EQ(ShellFolder(p, false), withSlash.substr(0, withSlash.size() - 1));
  }
}
