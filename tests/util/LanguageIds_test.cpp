#include "util/LanguageIds.h"

#include <gtest/gtest.h>

TEST(LanguageNameFromId, PrimaryIdentifiers) {
  EXPECT_EQ(LanguageNameFromId(9), "ENGLISH");
  EXPECT_EQ(LanguageNameFromId(7), "GERMAN");
  EXPECT_EQ(LanguageNameFromId(12), "FRENCH");
  EXPECT_EQ(LanguageNameFromId(10), "SPANISH");
  EXPECT_EQ(LanguageNameFromId(13), "HEBREW");
  EXPECT_EQ(LanguageNameFromId(1), "ARABIC");
  EXPECT_EQ(LanguageNameFromId(4), "CHINESE");
  EXPECT_EQ(LanguageNameFromId(20), "NORWEGIAN");
}

TEST(LanguageNameFromId, TwentySixIsAlwaysCroatian) { EXPECT_EQ(LanguageNameFromId(26), "CROATIAN"); }

TEST(LanguageNameFromId, UnknownIdentifiersAreEmpty) {
  EXPECT_EQ(LanguageNameFromId(23), "");
  EXPECT_EQ(LanguageNameFromId(0), "");
  EXPECT_EQ(LanguageNameFromId(99), "");
  EXPECT_EQ(LanguageNameFromId(1033), "");  // full identifiers only match their own rows
}

TEST(LanguageNameFromId, FullIdentifiersMatchExactly) {
  EXPECT_EQ(LanguageNameFromId(2052), "CHINESE(SIMPLIFIED)");
  EXPECT_EQ(LanguageNameFromId(1028), "CHINESE(TRADITIONAL)");
  EXPECT_EQ(LanguageNameFromId(3098), "SERBIAN(CYRILIC)");
  EXPECT_EQ(LanguageNameFromId(2074), "SERBIAN(LATIN)");
  EXPECT_EQ(LanguageNameFromId(1046), "PORTUGUESE(BRAZIL)");
  // Digits inside a longer number are no match: Armenian (43) is not Dutch.
  EXPECT_EQ(LanguageNameFromId(43), "");
  EXPECT_EQ(LanguageNameFromId(52), "");
  EXPECT_EQ(LanguageNameFromId(67), "");
  EXPECT_EQ(LanguageNameFromId(205), "");
}

TEST(SystemLanguageName, IsAKnownLanguage) {
  unsigned id = SystemLanguageId();
  EXPECT_GT(id, 0u);
  EXPECT_LT(id, 0x400u);
  EXPECT_EQ(SystemLanguageName(), LanguageNameFromId(id));
}
