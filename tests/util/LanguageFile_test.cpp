#include "util/LanguageFile.h"

#include <gtest/gtest.h>

#include "package/PackageReader.h"
#include "util/FileIO.h"

TEST(LanguageFile, SitsInTheHelpFolderBesideTheProgram) {
  EXPECT_EQ(LanguageFilePathFor("C:\\Apps\\Demo\\Setup.exe"), "C:\\Apps\\Demo\\HELP\\English\\Vabrix.language.ini");
  EXPECT_EQ(LanguageFilePathFor("Setup.exe"), "HELP\\English\\Vabrix.language.ini");
}

TEST(LanguageFile, BarsKeepBlanks) {
  EXPECT_EQ(StripLanguageBars("|  Next|"), "  Next");
  EXPECT_EQ(StripLanguageBars("|"), "");
  EXPECT_EQ(StripLanguageBars("||"), "");
  EXPECT_EQ(StripLanguageBars("|only left"), "|only left");
  EXPECT_EQ(StripLanguageBars("plain"), "plain");
  EXPECT_EQ(StripLanguageBars("||x||"), "|x|");  // one bar off each end, no more
}

TEST(LanguageFile, ArgumentReplacesEveryPlaceholder) {
  EXPECT_EQ(InsertLanguageArg("Copy <?> to <?>?", "a.txt"), "Copy a.txt to a.txt?");
  EXPECT_EQ(InsertLanguageArg("none", "x"), "none");
}

TEST(LanguageSetting, ComesFromThePackage) {
  ResetLanguageCache();
  // A package with a language block, made by hand: strings, then the trailer.
  std::string list = "|*English*FontName=Arial*|";
  std::string header = "|http:|.info|.exe|x|0|";
  std::string bytes;
  auto put = [&](const std::string& s) {
    uint32_t n = uint32_t(s.size());
    bytes += std::string(reinterpret_cast<char*>(&n), 4) + s;
  };
  put(list);
  put(header);
  PackageTrailer t;
  t.HeaderStrings = 2;
  t.Magic = kPackageMagic;
  t.TrailerLength = kTrailerSize;
  uint8_t raw[kTrailerSize];
  t.ToBytes(raw);
  bytes += std::string(reinterpret_cast<char*>(raw), kTrailerSize);
  MemoryFile file(bytes);
  TGFileInfo info(file);
  EXPECT_EQ(LanguageSetting(info, "FontName", "Tahoma"), "Arial");
  EXPECT_EQ(LanguageSetting(info, "FontSize", "8"), "8");
  ResetLanguageCache();
}
