#include "folders/ShellFolders.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

// A system described by its folders: what the shell answers and what exists.
struct FakeSystem {
  std::map<int, std::string> folders, specials;
  std::set<std::string> existing;
  ShellQueries Queries() const {
    ShellQueries q;
    q.folderPath = [this](int id) { auto it = folders.find(id); return it == folders.end() ? "" : it->second; };
    q.specialFolder = [this](int id) { auto it = specials.find(id); return it == specials.end() ? "" : it->second; };
    q.folderExists = [this](const std::string& p) { return existing.count(p) > 0; };
    q.windowsDir = "C:\\WINDOWS";
    q.profileOwner = "Ann";
    return q;
  }
};

}  // namespace

TEST(ShellFolders, ParentsOfDocumentsGiveUserAndProfilesRoot) {
  FakeSystem s;
  s.folders[kCsidlPersonal] = "C:\\Documents and Settings\\Ann\\My Documents";
  s.existing = {"C:\\Documents and Settings\\Ann\\My Documents", "C:\\Documents and Settings\\Ann",
                "C:\\Documents and Settings"};
  EXPECT_EQ(ResolveShellFolder("<UserDir>", s.Queries()), "C:\\Documents and Settings\\Ann");
  EXPECT_EQ(ResolveShellFolder("<DocumentsAndSettingsDir>", s.Queries()), "C:\\Documents and Settings");
  EXPECT_EQ(ResolveShellFolder("<MyDocumentsDir>", s.Queries()), "C:\\Documents and Settings\\Ann\\My Documents");
  EXPECT_EQ(ResolveShellFolder("<userdir>", s.Queries()), "C:\\Documents and Settings\\Ann");
}

TEST(ShellFolders, WithoutTheShellQueryTheProfileFolderStandsIn) {
  FakeSystem s;  // no SHFolder answers at all
  s.existing = {"C:\\WINDOWS\\Profiles\\Ann"};
  EXPECT_EQ(ResolveShellFolder("<MyDocumentsDir>", s.Queries()), "C:\\WINDOWS\\Profiles\\Ann\\My Documents");
  s.existing.clear();
  EXPECT_EQ(ResolveShellFolder("<MyDocumentsDir>", s.Queries()), "C:\\WINDOWS\\My Documents");
  EXPECT_EQ(ResolveShellFolder("<AllUsersDir>", s.Queries()), "C:\\WINDOWS");
  EXPECT_EQ(ResolveShellFolder("<AllUsersDocumentsDir>", s.Queries()), "C:\\WINDOWS\\Documents");
  EXPECT_EQ(ResolveShellFolder("<UserAppDataDir>", s.Queries()), "C:\\WINDOWS\\Application Data");
}

TEST(ShellFolders, ABareDriveIsNoParentAndNoFolder) {
  FakeSystem s;
  s.folders[kCsidlPersonal] = "C:\\Docs";  // its parent would be "C:"
  s.existing = {"C:\\Docs", "C:", "C:\\"};
  EXPECT_EQ(ResolveShellFolder("<UserDir>", s.Queries()), "C:\\WINDOWS");
  EXPECT_EQ(ParentFolder("C:"), "");
  EXPECT_EQ(ParentFolder("C:\\Docs"), "C:");
  EXPECT_TRUE(IsBareDrive("C:\\"));
  EXPECT_FALSE(IsBareDrive("C:\\x"));
}

TEST(ShellFolders, StartMenuFallsBackToUserThenAllUsers) {
  FakeSystem s;
  s.folders[kCsidlPersonal] = "C:\\Users\\Ann\\Documents";
  s.folders[kCsidlCommonAppData] = "C:\\ProgramData\\Data";
  s.existing = {"C:\\Users\\Ann\\Documents", "C:\\Users\\Ann", "C:\\ProgramData\\Data", "C:\\ProgramData"};
  // No shell answer, user's Start Menu missing: the all-users one, existing or not.
  EXPECT_EQ(ResolveShellFolder("<UserStartMenuDir>", s.Queries()), "C:\\ProgramData\\Start Menu");
  s.existing.insert("C:\\Users\\Ann\\Start Menu");
  EXPECT_EQ(ResolveShellFolder("<UserStartMenuDir>", s.Queries()), "C:\\Users\\Ann\\Start Menu");
  EXPECT_EQ(ResolveShellFolder("<UserStartProgramMenuDir>", s.Queries()), "C:\\ProgramData\\Start Menu\\Programs");
  s.specials[kCsidlStartMenu] = "C:\\Shell\\Start Menu\\";
  s.existing.insert("C:\\Shell\\Start Menu");
  EXPECT_EQ(ResolveShellFolder("<UserStartMenuDir>", s.Queries()), "C:\\Shell\\Start Menu");
  EXPECT_EQ(ResolveShellFolder("<AllUsersDesktopDir>", s.Queries()), "C:\\ProgramData\\Desktop");
  EXPECT_EQ(ResolveShellFolder("<NoSuchDir>", s.Queries()), "");
}
