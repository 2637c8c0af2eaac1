#include "util/SLangId.h"

#include <gtest/gtest.h>

TEST(LanguageNameFromId, PrimaryIdentifiers) {
  EXPECT_EQ(LanguageNameFromId(9), "ENGLISH");
  EXPECT_EQ(LanguageNameFromId(7), "GERMAN");
  EXPECT_EQ(LanguageNameFromId(12), "FRENCH");
  EXPECT_EQ(LanguageNameFromId(10), "SPANISH");
  EXPECT_EQ(LanguageNameFromId(13), "HEBREW");
  EXPECT_EQ(LanguageNameFromId(1), "ARABIC");
  EXPECT_EQ(LanguageNameFromId(4), "CHINESE");   // before 1043, which contains "04" too
  EXPECT_EQ(LanguageNameFromId(20), "NORWEGIAN");  // before 2052
}

TEST(LanguageNameFromId, TwentySixIsAlwaysCroatian) { EXPECT_EQ(LanguageNameFromId(26), "CROATIAN"); }

TEST(LanguageNameFromId, UnknownIdentifiersAreEmpty) {
  EXPECT_EQ(LanguageNameFromId(23), "");
  EXPECT_EQ(LanguageNameFromId(0), "");
  EXPECT_EQ(LanguageNameFromId(99), "");
  EXPECT_EQ(LanguageNameFromId(1033), "");  // full identifiers only match their own rows
}

TEST(LanguageNameFromId, FullIdentifiersAndSubstringMatches) {
  EXPECT_EQ(LanguageNameFromId(2052), "CHINESE(SIMPLIFIED)");
  EXPECT_EQ(LanguageNameFromId(1028), "CHINESE(TRADITIONAL)");
  EXPECT_EQ(LanguageNameFromId(3098), "SERBIAN(CYRILIC)");
  EXPECT_EQ(LanguageNameFromId(2074), "SERBIAN(LATIN)");
  // No two-digit row of their own: the digits are found inside a four-digit row.
  EXPECT_EQ(LanguageNameFromId(43), "DUTCH(STANDARD)");
  EXPECT_EQ(LanguageNameFromId(52), "CHINESE(SIMPLIFIED)");
  EXPECT_EQ(LanguageNameFromId(67), "DUTCH(FLEMISH)");
  EXPECT_EQ(LanguageNameFromId(70), "PORTUGUESE(PORTUGAL)");
  EXPECT_EQ(LanguageNameFromId(46), "PORTUGUESE(BRAZIL)");
}

TEST(SystemLanguageName, IsAKnownLanguage) {
  unsigned id = SystemLanguageId();
  EXPECT_GT(id, 0u);
  EXPECT_LT(id, 0x400u);
  EXPECT_EQ(SystemLanguageName(), LanguageNameFromId(id));
}
