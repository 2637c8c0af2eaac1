#include "util/NameSet.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(NameSet, TellsNewFromSeenAcrossGrowth) {
  NameSet set;
  std::set<std::string> reference;
  // Enough names to grow the table several times; every name comes back later, and
  // names that differ in one byte or only in length stay apart.
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < 5000; ++i) {
      const std::string name = "FILE" + std::to_string(i % 2500) + (i % 3 ? ".TXT" : "");
      EXPECT_EQ(set.Insert(name), reference.insert(name).second) << name;
    }
  EXPECT_EQ(set.Size(), reference.size());
  EXPECT_TRUE(set.Insert(""));
  EXPECT_FALSE(set.Insert(""));
  EXPECT_TRUE(set.Insert(std::string("A\0B", 3)));
  EXPECT_TRUE(set.Insert(std::string("A\0C", 3)));
}
