#include "util/PlatformHelpers.h"

#include <gtest/gtest.h>

#include <set>

TEST(RegistryPath, SplitsRootAndSubkey) {
  RegistryPath p = SplitRegistryPath("HKLM\\SOFTWARE\\X");
  EXPECT_EQ(p.root, kHkeyLocalMachine);
  EXPECT_EQ(p.subkey, "SOFTWARE\\X");
  p = SplitRegistryPath("  hkcu  ");
  EXPECT_EQ(p.root, kHkeyCurrentUser);
  EXPECT_EQ(p.subkey, "");
  p = SplitRegistryPath("SOFTWARE\\X");
  EXPECT_EQ(p.root, kHkeyCurrentUser);
  EXPECT_EQ(p.subkey, "SOFTWARE\\X");
  p = SplitRegistryPath("HKXX\\a");
  EXPECT_EQ(p.root, kHkeyCurrentUser);
  EXPECT_EQ(p.subkey, "a");
  p = SplitRegistryPath("HKEY_CLASSES_ROOT\\.txt");
  EXPECT_EQ(p.root, kHkeyClassesRoot);
  EXPECT_EQ(p.subkey, ".txt");
}

TEST(RegistryPath, RootNames) {
  EXPECT_EQ(ParseRootKey("hkey_users"), kHkeyUsers);
  EXPECT_EQ(ParseRootKey("HKU"), kHkeyUsers);
  EXPECT_EQ(ParseRootKey("HKCC"), kHkeyCurrentConfig);
  EXPECT_EQ(ParseRootKey("HKEY_DYN_DATA"), kHkeyDynData);
  EXPECT_EQ(ParseRootKey("HKCR"), kHkeyClassesRoot);
  EXPECT_EQ(ParseRootKey("HKLMX"), kHkeyCurrentUser);
}

TEST(RegistryValue, DecodesOnlyTheReturnedBytes) {
  const uint8_t dword[] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(DecodeRegistryValue(kRegDword, dword, 4), "4294967295");
  const uint8_t qword[] = {0, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(DecodeRegistryValue(kRegQword, qword, 8), "4294967296");
  const uint8_t multi[] = {'o', 'n', 'e', 0, 't', 'w', 'o', 0, 0};
  EXPECT_EQ(DecodeRegistryValue(kRegMultiSz, multi, sizeof multi), "one<0>two");
  // A string without its NUL: the bytes returned, nothing beyond them.
  const uint8_t text[] = {'a', 'b', 'c', 'X', 'Y'};
  EXPECT_EQ(DecodeRegistryValue(kRegSz, text, 3), "abc");
  const uint8_t nul[] = {'a', 0, 'b'};
  EXPECT_EQ(DecodeRegistryValue(kRegExpandSz, nul, 3), "a");
  EXPECT_EQ(DecodeRegistryValue(kRegDword, dword, 3), std::string("\xFF\xFF\xFF"));  // not 4 bytes: as text
  EXPECT_EQ(DecodeRegistryValue(kRegMultiSz, multi, 2), "on");
  EXPECT_EQ(DecodeRegistryValue(kRegSz, nullptr, 10), "");
}

TEST(ErrorText, LosesTrailingBreaksAndFullStop) {
  EXPECT_EQ(TidyErrorText("The system cannot find the file specified.\r\n"),
            "The system cannot find the file specified");
  EXPECT_EQ(TidyErrorText("Access is denied. "), "Access is denied");
  EXPECT_EQ(TidyErrorText(""), "");
}

TEST(Waits, DefaultPumpInterval) {
  EXPECT_EQ(PumpInterval(0, 100), 10u);
  EXPECT_EQ(PumpInterval(0, 5), 1u);
  EXPECT_EQ(PumpInterval(0, 0), 1u);
  EXPECT_EQ(PumpInterval(0, 10000), 25u);
  EXPECT_EQ(PumpInterval(7, 10000), 7u);
}

TEST(Clock, CounterConversionKeepsItsPrecision) {
  EXPECT_EQ(CounterToMilliseconds(10000000, 10000000), 1000u);  // Wine's 10 MHz counter
  EXPECT_EQ(CounterToMilliseconds(12345, 10000000), 1u);
  EXPECT_EQ(CounterToMilliseconds(3579545ull * 3600 * 24 * 365, 3579545), 1000ull * 3600 * 24 * 365);
  EXPECT_EQ(CounterToMilliseconds(UINT64_MAX, 1000), UINT64_MAX);  // no overflow on the way
  EXPECT_EQ(CounterToMilliseconds(5, 0), 0u);
}

TEST(PointsToPixels, RoundsTheScaledValue) {
  EXPECT_EQ(PointsToPixelsAt(8, 96), 11);  // 10.67
  EXPECT_EQ(PointsToPixelsAt(9, 96), 12);
  EXPECT_EQ(PointsToPixelsAt(8, 120), 13);  // 13.33
  EXPECT_EQ(PointsToPixelsAt(0, 96), 0);
}

TEST(RandomBetween, StaysInsideAndReachesBothEnds) {
  std::set<int64_t> seen;
  for (int i = 0; i < 2000; ++i) {
    int64_t r = RandomBetween(-2, 3);
    ASSERT_GE(r, -2);
    ASSERT_LE(r, 3);
    seen.insert(r);
  }
  EXPECT_EQ(seen.size(), 6u);
  EXPECT_EQ(RandomBetween(5, 5), 5);
  EXPECT_EQ(RandomBetween(9, 1), 9);
  int64_t wide = RandomBetween(INT64_MIN, INT64_MAX);  // the whole range must not divide by zero
  (void)wide;
  EXPECT_EQ(RandomText(42, 42), "42");
}
