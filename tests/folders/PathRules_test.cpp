#include "folders/PathRules.h"

#include <gtest/gtest.h>

TEST(PathRules, InsideOnlyBelowAnAbsoluteFolder) {
  const std::vector<std::string> folders = {"C:\\Apps", "\\\\srv\\share\\Tools\\", "relative\\dir", ""};
  struct {
    const char* path;
    bool inside;
  } cases[] = {
      {"C:\\Apps\\a.exe", true},
      {"c:/apps//sub/./a.exe", true},  // case, "/", repeated "\" and "."
      {"C:\\Apps\\sub\\..\\a.exe", true},
      {"C:\\Apps\\a.exe\\", true},  // trailing "\"
      {"C:\\AppsX\\a.exe", false},
      {"C:\\Apps", false},  // the folder itself
      {"C:\\Apps\\", false},
      {"C:\\Apps\\..\\Windows\\a.exe", false},
      {"C:\\Apps\\..\\..\\Apps\\a.exe", false},  // above the root
      {"D:\\Apps\\a.exe", false},
      {"\\\\SRV\\Share\\tools\\x\\a.exe", true},
      {"\\\\srv\\share\\Tools\\..\\a.exe", false},
      {"\\\\srv\\share\\..\\share\\Tools\\a.exe", false},  // ".." may not leave the share
      {"\\\\other\\share\\Tools\\a.exe", false},
      {"relative\\dir\\a.exe", false},
      {"Apps\\a.exe", false},
      {"C:Apps\\a.exe", false},  // drive-relative
      {"\\\\?\\C:\\Apps\\a.exe", false},
      {"\\\\.\\C:\\Apps\\a.exe", false},
      {"C:\\Apps.\\a.exe", false},  // the system would drop the dot
      {"C:\\Apps\\a.exe:stream", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(PathInsideFolders(c.path, folders), c.inside) << c.path;
  EXPECT_TRUE(PathInsideFolders("C:\\x\\a.exe", {"c:\\"}));  // a drive root holds its drive
  EXPECT_FALSE(PathInsideFolders("C:\\x\\a.exe", {"C:"}));
  EXPECT_FALSE(PathInsideFolders("C:\\Apps\\a.exe", {}));
}
