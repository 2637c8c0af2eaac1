#include "util/Scramble.h"

#include <gtest/gtest.h>

TEST(Scramble, MatchesTheAlternatingKeyByHand) {
  // Position 1: (1 + 40) = 0x29, 'A' ^ 0x29 = 'h'. Position 2: (2 - 40) mod 256 = 0xDA,
  // 'B' ^ 0xDA = 0x98.
  EXPECT_EQ(Scramble("A", 40), std::string("Scrambled=01(h"));
  EXPECT_EQ(Scramble("AB", 40), std::string("Scrambled=01(h\x98"));
  EXPECT_EQ(Unscramble(std::string("Scrambled=01(h\x98")), "AB");
}

TEST(Scramble, RoundTripsEveryByteWithEveryKey) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += char(i);
  all += all;  // positions beyond 256 wrap the key arithmetic
  for (int key = 33; key <= 122; ++key) {
    std::string s = Scramble(all, uint8_t(key));
    ASSERT_EQ(s.size(), all.size() + 13);
    EXPECT_EQ(s.substr(0, 12), "Scrambled=01");
    EXPECT_EQ(uint8_t(s[12]), key);
    EXPECT_EQ(Unscramble(s), all) << "key " << key;
  }
}

TEST(Scramble, RandomKeyStaysInRangeAndRoundTrips) {
  for (int i = 0; i < 200; ++i) {
    std::string s = Scramble("secret\x01\x1F value");
    ASSERT_GE(uint8_t(s[12]), 33);
    ASSERT_LE(uint8_t(s[12]), 122);
    EXPECT_EQ(Unscramble(s), "secret\x01\x1F value");
  }
}

TEST(Scramble, LeavesPlainMarkedAndEmptyTextsAlone) {
  EXPECT_EQ(Scramble(""), "");
  EXPECT_EQ(Scramble("Scrambled=01xyz", 50), "Scrambled=01xyz");
  EXPECT_EQ(Unscramble("plain text"), "plain text");
  EXPECT_EQ(Unscramble("Scrambled=01"), "Scrambled=01");   // a bare marker has no key
  EXPECT_EQ(Unscramble("Scrambled=01!"), "");              // a key and nothing behind it
  EXPECT_EQ(Unscramble("scrambled=01!abc"), "scrambled=01!abc");  // the marker is case-sensitive
}
