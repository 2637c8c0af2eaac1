#include "agent/ServerFileNames.h"

#include <gtest/gtest.h>

TEST(ServerFileNames, OnlyPlainNamesThatAreNotTheAgentsOwn) {
  const std::vector<std::string> own = AgentOwnFileNames("Updater.exe", "Product.setup.info", "Product.original");
  EXPECT_EQ(own, (std::vector<std::string>{"Updater.exe", "X_Updater.exe", "Product.setup.info",
                                           "Product.original", "X_Updater.log", "_DEL_ME_.BAT"}));
  struct {
    const char* name;
    bool accepted;
  } cases[] = {
      {"Product_2.1.exe", true},
      {"update pack.bin", true},
      {"..\\Updater.exe", false},
      {"sub/x.exe", false},
      {"C:x.exe", false},
      {".", false},
      {"..", false},
      {"", false},
      {"a\tb.exe", false},
      {"setup.exe.", false},
      {"setup.exe ", false},
      {"CON", false},
      {"nul.txt", false},
      {"Com1.exe", false},
      {"lpt9", false},
      {"COM0.exe", true},
      {"CONSOLE.exe", true},
      {"updater.EXE", false},  // own names in any case
      {"x_updater.exe", false},
      {"PRODUCT.ORIGINAL", false},
      {"product.setup.info", false},
      {"X_Updater.log", false},
      {"_del_me_.bat", false},
      {"UPDATE~1.EXE", false},  // may be the short name of an own file
      {"Updater.exe.bak", true},
  };
  for (const auto& c : cases) EXPECT_EQ(IsPlainServerFileName(c.name, own), c.accepted) << c.name;
}
