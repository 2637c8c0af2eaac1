#include "util/SystemInfo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

// ---- version texts --------------------------------------------------------------

TEST(NormalizeVersion, PadsAndCutsToTheRequestedShape) {
  EXPECT_EQ(NormalizeVersion("1, 2, 3, 4", 2, 4), "01.02.03.04");
  EXPECT_EQ(NormalizeVersion("1, 2, 3, 4", 1, 3), "1.2.3");
  EXPECT_EQ(NormalizeVersion("7.1", 1, 4), "7.1.0.0");
  EXPECT_EQ(NormalizeVersion("12.0.0.2", 3, 2), "012.000");
  EXPECT_EQ(NormalizeVersion("123.4", 2, 2), "123.04");  // never cut a number
  EXPECT_EQ(NormalizeVersion("0010.2", 1, 2), "10.2");
}

TEST(NormalizeVersion, KeepsOnlyDigitsAndDots) {
  EXPECT_EQ(NormalizeVersion("v1.2beta3", 1, 4), "1.23.0.0");
  EXPECT_EQ(NormalizeVersion("6.3.9600.16384 (winblue_rtm.130821-1623)", 1, 3), "6.3.9600");
  EXPECT_EQ(NormalizeVersion("-5.6", 1, 2), "5.6");
}

TEST(NormalizeVersion, EmptyAndMissingNumbersAreZero) {
  EXPECT_EQ(NormalizeVersion("1..3", 1, 4), "1.0.3.0");
  EXPECT_EQ(NormalizeVersion(".5.6", 1, 3), "0.5.6");
  EXPECT_EQ(NormalizeVersion("", 2, 2), "00.00");
  EXPECT_EQ(NormalizeVersion("abc", 1, 1), "0");
  // Too large for a number: counts as 0 rather than wrapping.
  EXPECT_EQ(NormalizeVersion("99999999999999999999.1", 1, 2), "0.1");
}

TEST(NormalizeVersion, OutOfRangeShapesAreBounded) {
  EXPECT_EQ(NormalizeVersion("1.2", 1, 0), "");
  EXPECT_EQ(NormalizeVersion("1.2", 1, -3), "");
  EXPECT_EQ(NormalizeVersion("1.2", 0, 2), "1.2");
  EXPECT_EQ(NormalizeVersion("1.2", -4, 2), "1.2");
  EXPECT_EQ(NormalizeVersion("1", 1000, 1), std::string(19, '0') + "1");
  const std::string many = NormalizeVersion("1", 1, 1000000);
  EXPECT_EQ(many.size(), 64u * 2 - 1);  // 64 numbers of one digit and 63 dots
  EXPECT_EQ(many.substr(0, 4), "1.0.");
}

TEST(FormatVersionResult, NormalizesOnlyForAnotherShape) {
  EXPECT_EQ(FormatVersionResult("1. 2. 3. 4", 1, 4), "1. 2. 3. 4");  // as read
  EXPECT_EQ(FormatVersionResult("1. 2. 3. 4", 1, 5), "1. 2. 3. 4");
  EXPECT_EQ(FormatVersionResult("1. 2. 3. 4", 2, 4), "01.02.03.04");
  EXPECT_EQ(FormatVersionResult("1. 2. 3. 4", 1, 3), "1.2.3");
}

TEST(FormatVersionResult, MissingVersionStaysEmpty) {
  EXPECT_EQ(FormatVersionResult("", 2, 4), "");
  EXPECT_EQ(FormatVersionResult("  ", 1, 3), "");
  EXPECT_EQ(FormatVersionResult("", 1, 4), "");
}

TEST(VersionNumbers, ReadsTheRequestedCount) {
  EXPECT_EQ(VersionNumbers("10.0.19041.1", 3), (std::vector<int64_t>{10, 0, 19041}));
  EXPECT_EQ(VersionNumbers("10,0", 4), (std::vector<int64_t>{10, 0, 0, 0}));
  EXPECT_TRUE(VersionNumbers("1.2", 0).empty());
  EXPECT_EQ(VersionNumbers("1", 500).size(), 64u);
}

TEST(CompareVersions, ComparesNumbersNotText) {
  EXPECT_EQ(CompareVersions("6.10", "6.2"), 1);  // as decimals 6.10 < 6.2
  EXPECT_EQ(CompareVersions("6.2", "6.10"), -1);
  EXPECT_EQ(CompareVersions("10.0", "9.9"), 1);   // as text "1" < "9"
  EXPECT_EQ(CompareVersions("1.2.0.1", "1.2"), 1);
  EXPECT_EQ(CompareVersions("1.2", "1.2.0.0"), 0);
  EXPECT_EQ(CompareVersions("1,2,3", "1.2.3"), 0);
  EXPECT_EQ(CompareVersions("", "0"), 0);
  EXPECT_EQ(CompareVersions("", "0.0.1"), -1);
  EXPECT_EQ(CompareVersions("2", "1.99.99"), 1);
  EXPECT_EQ(CompareVersions("01.002", "1.2"), 0);
}

TEST(FixedVersionText, SplitsBothWordsIntoHalves) {
  EXPECT_EQ(FixedVersionText(0x000C0000u, 0x00000002u), "12.0.0.2");
  EXPECT_EQ(FixedVersionText(0xFFFF0001u, 0x00020003u), "65535.1.2.3");
  EXPECT_EQ(FixedVersionText(0, 0), "0.0.0.0");
}

TEST(VersionStringBlock, LanguageFirstThenCodePageInLowerCaseHex) {
  EXPECT_EQ(VersionStringBlock(0x04B00409u, "ProductVersion"), "\\StringFileInfo\\040904b0\\ProductVersion");
  EXPECT_EQ(VersionStringBlock(0x04E40407u, "FileVersion"), "\\StringFileInfo\\040704e4\\FileVersion");
  EXPECT_EQ(VersionStringBlock(0x00000000u, "X"), "\\StringFileInfo\\00000000\\X");
  EXPECT_EQ(VersionStringBlock(0xFFFFABCDu, "X"), "\\StringFileInfo\\abcdffff\\X");
}

// ---- Windows identification -------------------------------------------------------

namespace {

WindowsVersionRecord Rec(uint32_t platform, uint32_t major, uint32_t minor, uint32_t build = 0,
                         const std::string& sp = "") {
  WindowsVersionRecord r;
  r.platformId = platform;
  r.major = major;
  r.minor = minor;
  r.build = build;
  r.servicePack = sp;
  return r;
}

struct Row {
  uint32_t platform, major, minor, build;
  bool is64, server;
  const char* name;
  uint32_t flag;
};

void ExpectRows(const Row* rows, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const Row& r = rows[i];
    const WindowsIdentity id = IdentifyWindowsFrom(Rec(r.platform, r.major, r.minor, r.build), r.is64, r.server);
    SCOPED_TRACE(testing::Message() << "platform " << r.platform << " " << r.major << "." << r.minor << " build "
                                    << r.build << " 64-bit " << r.is64 << " server " << r.server);
    EXPECT_EQ(id.osName, r.name);
    EXPECT_EQ(id.osFlag, r.flag);
  }
}

}  // namespace

TEST(IdentifyWindows, Win32sAnd9x) {
  const Row rows[] = {
      {kPlatformWin32s, 3, 10, 0, false, false, "32S", 0},
      {kPlatformWin32s, 1, 0, 0, true, true, "32S", 0},
      {kPlatformWin9x, 4, 0, 950, false, false, "95", 1},
      {kPlatformWin9x, 4, 10, 1998, false, false, "98", 2},
      {kPlatformWin9x, 4, 10, 2222, false, false, "98", 2},
      {kPlatformWin9x, 4, 90, 3000, false, false, "ME", 4},
      {kPlatformWin9x, 4, 90, 0, false, false, "ME", 4},
      {kPlatformWin9x, 4, 10, 3000, false, false, "ME", 4},
      // 9x puts major and minor into the high word of the build number.
      {kPlatformWin9x, 4, 10, 0x040A0BB8, false, false, "ME", 4},
      {kPlatformWin9x, 4, 10, 0x040A08AE, false, false, "98", 2},
      {kPlatformWin9x, 4, 3, 0, false, false, "9x", 1},
      {kPlatformWin9x, 4, 0, 3000, false, false, "95", 1},  // build 3000 matters for 4.10 only
      {kPlatformWin9x, 4, 10, 3000, true, true, "ME", 4},   // 64-bit and server rows are NT only
  };
  ExpectRows(rows, std::size(rows));
}

TEST(IdentifyWindows, NtDesktopRows) {
  const Row rows[] = {
      {kPlatformNT, 4, 0, 1381, false, false, "NT", 8},
      {kPlatformNT, 5, 0, 2195, false, false, "2000", 16},
      {kPlatformNT, 5, 1, 2600, false, false, "XP", 32},
      {kPlatformNT, 5, 2, 3790, false, false, "2003", 64},
      {kPlatformNT, 6, 0, 6002, false, false, "Vista", 128},
      {kPlatformNT, 6, 1, 7601, false, false, "7", 1024},
      {kPlatformNT, 6, 2, 9200, false, false, "8", 32768},
      {kPlatformNT, 6, 3, 9600, false, false, "8.1", 262144},
      {kPlatformNT, 10, 0, 19045, false, false, "10", 2097152},
      {kPlatformNT, 10, 0, 22631, false, false, "10", 2097152},  // 11 reports 10.0
      {kPlatformNT, 3, 51, 1057, false, false, "NTx", 8},
      {kPlatformNT, 6, 4, 9841, false, false, "NTx", 8},
      {kPlatformNT, 11, 0, 0, false, false, "NTx", 8},
      {kPlatformNT, 10, 1, 0, false, false, "NTx", 8},
  };
  ExpectRows(rows, std::size(rows));
}

TEST(IdentifyWindows, Nt64BitRows) {
  const Row rows[] = {
      {kPlatformNT, 5, 2, 3790, true, false, "XP.64", 256},
      {kPlatformNT, 6, 0, 6002, true, false, "Vista.64", 512},
      {kPlatformNT, 6, 1, 7601, true, false, "7.64", 2048},
      {kPlatformNT, 6, 2, 9200, true, false, "8.64", 65536},
      {kPlatformNT, 6, 3, 9600, true, false, "8.1.64", 524288},
      {kPlatformNT, 10, 0, 19045, true, false, "10.64", 4194304},
      // No 64-bit row of their own: the plain row stays.
      {kPlatformNT, 4, 0, 0, true, false, "NT", 8},
      {kPlatformNT, 5, 0, 0, true, false, "2000", 16},
      {kPlatformNT, 5, 1, 0, true, false, "XP", 32},
      {kPlatformNT, 6, 4, 0, true, false, "NTx", 8},
      {kPlatformNT, 11, 0, 0, true, false, "NTx", 8},
  };
  ExpectRows(rows, std::size(rows));
}

TEST(IdentifyWindows, NtServerRows) {
  const Row rows[] = {
      {kPlatformNT, 6, 0, 6002, false, true, "2008", 4096},
      {kPlatformNT, 6, 0, 6002, true, true, "2008.64", 8192},
      {kPlatformNT, 6, 1, 7601, true, true, "2008R2.64", 16384},
      {kPlatformNT, 6, 2, 9200, true, true, "2012.64", 131072},
      {kPlatformNT, 6, 3, 9600, true, true, "2012R2.64", 1048576},
      {kPlatformNT, 10, 0, 17763, true, true, "10.64", 4194304},
      // A 32-bit server of 6.1 to 10.0 keeps its desktop name.
      {kPlatformNT, 6, 1, 7601, false, true, "7", 1024},
      {kPlatformNT, 6, 2, 9200, false, true, "8", 32768},
      {kPlatformNT, 6, 3, 9600, false, true, "8.1", 262144},
      {kPlatformNT, 10, 0, 0, false, true, "10", 2097152},
      // Rows without a server column.
      {kPlatformNT, 5, 2, 3790, false, true, "2003", 64},
      {kPlatformNT, 5, 2, 3790, true, true, "XP.64", 256},
      {kPlatformNT, 5, 0, 2195, false, true, "2000", 16},
      {kPlatformNT, 4, 0, 1381, false, true, "NT", 8},
      {kPlatformNT, 6, 4, 0, true, true, "NTx", 8},
  };
  ExpectRows(rows, std::size(rows));
}

TEST(IdentifyWindows, UnknownPlatformHasNoName) {
  const WindowsIdentity id = IdentifyWindowsFrom(Rec(3, 6, 1, 7601), true, true);
  EXPECT_EQ(id.osName, "");
  EXPECT_EQ(id.osFlag, 0u);
  EXPECT_EQ(id.version, "6.1");
}

TEST(IdentifyWindows, VersionTextServicePackAndBuild) {
  WindowsIdentity id = IdentifyWindowsFrom(Rec(kPlatformNT, 6, 1, 7601, "  Service Pack 1 \t"), false, false);
  EXPECT_EQ(id.version, "6.1");
  EXPECT_EQ(id.servicePack, "Service Pack 1");
  EXPECT_EQ(id.build, 7601u);
  id = IdentifyWindowsFrom(Rec(kPlatformNT, 10, 0, 19045), true, false);
  EXPECT_EQ(id.version, "10.0");
  EXPECT_EQ(id.servicePack, "");
  EXPECT_EQ(id.build, 19045u);
  id = IdentifyWindowsFrom(Rec(kPlatformWin9x, 4, 10, 0x040A08AE, " A "), false, false);
  EXPECT_EQ(id.version, "4.10");
  EXPECT_EQ(id.servicePack, "A");
  EXPECT_EQ(id.build, 0x040A08AEu);
}

TEST(CorrectWindowsVersion, SystemsReportingAsNewAsWindows81TakeKernel32sVersion) {
  WindowsVersionRecord r = CorrectWindowsVersion(Rec(kPlatformNT, 6, 3, 9600, "sp"), "10.0.19041.1");
  EXPECT_EQ(r.major, 10u);
  EXPECT_EQ(r.minor, 0u);
  EXPECT_EQ(r.build, 19041u);
  EXPECT_EQ(r.platformId, kPlatformNT);
  EXPECT_EQ(r.servicePack, "sp");
  r = CorrectWindowsVersion(Rec(kPlatformNT, 6, 3, 9600), "10, 0, 22621, 1");
  EXPECT_EQ(r.build, 22621u);
  r = CorrectWindowsVersion(Rec(kPlatformNT, 6, 3, 9600), "6.3.9600.16384 (winblue_rtm.130821-1623)");
  EXPECT_EQ(r.major, 6u);
  EXPECT_EQ(r.minor, 3u);
  EXPECT_EQ(r.build, 9600u);
  r = CorrectWindowsVersion(Rec(kPlatformNT, 6, 4, 9841), "10.0.9841.0");
  EXPECT_EQ(r.major, 10u);
}

TEST(CorrectWindowsVersion, OtherSystemsAndUnusableVersionsKeepTheRecord) {
  // Only major above 5 with minor above 2.
  WindowsVersionRecord r = CorrectWindowsVersion(Rec(kPlatformNT, 6, 2, 9200), "10.0.19041.1");
  EXPECT_EQ(r.major, 6u);
  EXPECT_EQ(r.minor, 2u);
  r = CorrectWindowsVersion(Rec(kPlatformNT, 10, 0, 19041), "6.3.9600.1");
  EXPECT_EQ(r.major, 10u);
  EXPECT_EQ(r.build, 19041u);
  r = CorrectWindowsVersion(Rec(kPlatformNT, 5, 3, 1), "10.0.1.1");
  EXPECT_EQ(r.major, 5u);
  // A missing or broken kernel32 version never makes the system 0.0.
  for (const char* bad : {"", "garbage", "0.0.0.0", "99999999999.1.1", "1.99999999999.1"}) {
    SCOPED_TRACE(bad);
    r = CorrectWindowsVersion(Rec(kPlatformNT, 6, 3, 9600), bad);
    EXPECT_EQ(r.major, 6u);
    EXPECT_EQ(r.minor, 3u);
    EXPECT_EQ(r.build, 9600u);
  }
}

TEST(WindowsVersionTests, ComparedAsIntegers) {
  EXPECT_TRUE(IsWin8OrLaterFrom(Rec(kPlatformNT, 6, 2)));
  EXPECT_TRUE(IsWin8OrLaterFrom(Rec(kPlatformNT, 6, 3)));
  EXPECT_TRUE(IsWin8OrLaterFrom(Rec(kPlatformNT, 6, 10)));  // "6.10" read as a decimal is below 6.2
  EXPECT_TRUE(IsWin8OrLaterFrom(Rec(kPlatformNT, 10, 0)));
  EXPECT_TRUE(IsWin8OrLaterFrom(Rec(kPlatformNT, 7, 0)));
  EXPECT_FALSE(IsWin8OrLaterFrom(Rec(kPlatformNT, 6, 1)));
  EXPECT_FALSE(IsWin8OrLaterFrom(Rec(kPlatformNT, 5, 20)));  // "5.20" would not be, "5.2" neither
  EXPECT_FALSE(IsWin8OrLaterFrom(Rec(kPlatformWin9x, 6, 2)));
  EXPECT_TRUE(WindowsVersionAtLeast(Rec(kPlatformNT, 5, 1), 5, 1));
  EXPECT_FALSE(WindowsVersionAtLeast(Rec(kPlatformNT, 5, 0), 5, 1));
  EXPECT_TRUE(WindowsVersionAtLeast(Rec(kPlatformNT, 6, 0), 5, 1));

  EXPECT_TRUE(IsXPFrom(Rec(kPlatformNT, 5, 1)));
  EXPECT_FALSE(IsXPFrom(Rec(kPlatformNT, 5, 10)));
  EXPECT_FALSE(IsXPFrom(Rec(kPlatformNT, 5, 2)));
  EXPECT_FALSE(IsXPFrom(Rec(kPlatformWin9x, 5, 1)));
}

TEST(Is64BitFrom, EveryPieceIsNeeded) {
  Wow64Support all;
  all.hasGetNativeSystemInfo = all.hasIsWow64Process = all.isWow64CallSucceeded = all.isWow64 = true;
  all.hasDisableFsRedirection = all.hasRevertFsRedirection = all.hasGetSystemWow64Directory = true;
  all.hasRegDeleteKeyEx = true;
  EXPECT_TRUE(Is64BitFrom(all));
  bool Wow64Support::*pieces[] = {
      &Wow64Support::hasGetNativeSystemInfo,  &Wow64Support::hasIsWow64Process,
      &Wow64Support::isWow64CallSucceeded,    &Wow64Support::isWow64,
      &Wow64Support::hasDisableFsRedirection, &Wow64Support::hasRevertFsRedirection,
      &Wow64Support::hasGetSystemWow64Directory, &Wow64Support::hasRegDeleteKeyEx,
  };
  for (size_t i = 0; i < std::size(pieces); ++i) {
    Wow64Support s = all;
    s.*pieces[i] = false;
    EXPECT_FALSE(Is64BitFrom(s)) << "piece " << i;
  }
  EXPECT_FALSE(Is64BitFrom(Wow64Support{}));
}

TEST(Registration, KeyPathAndEmptyValues) {
  EXPECT_EQ(RegistrationKeyPath(true), "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion");
  EXPECT_EQ(RegistrationKeyPath(false), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion");
  EXPECT_EQ(RegisteredTextOr("", "joe"), "joe");
  EXPECT_EQ(RegisteredTextOr(" \t ", " joe "), "joe");
  EXPECT_EQ(RegisteredTextOr("  Acme Ltd ", "joe"), "Acme Ltd");
  EXPECT_EQ(RegisteredTextOr("", ""), "");
}

// ---- dates and times ------------------------------------------------------------

namespace {

LocalDateTime Dt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  LocalDateTime dt;
  dt.year = y;
  dt.month = mo;
  dt.day = d;
  dt.hour = h;
  dt.minute = mi;
  dt.second = s;
  return dt;
}

// 7 December 2026: 46363 days after 30 December 1899.
constexpr int64_t k7Dec2026 = 46363LL * 86400;

int64_t Seconds(const LocalDateTime& dt) {
  int64_t s = 0;
  EXPECT_TRUE(SecondsFromDateTime(dt, s));
  return s;
}

}  // namespace

TEST(SecondsValue, KnownDays) {
  EXPECT_EQ(Seconds(Dt(1899, 12, 30)), 0);
  EXPECT_EQ(Seconds(Dt(1899, 12, 31)), 86400);
  EXPECT_EQ(Seconds(Dt(1899, 12, 29, 23, 59, 59)), -1);
  EXPECT_EQ(Seconds(Dt(1970, 1, 1)), 25569LL * 86400);
  EXPECT_EQ(Seconds(Dt(2000, 1, 1, 13, 5, 9)), 36526LL * 86400 + 13 * 3600 + 5 * 60 + 9);
  EXPECT_EQ(Seconds(Dt(2026, 12, 7)), k7Dec2026);
  EXPECT_EQ(Seconds(Dt(1900, 3, 1)), 61LL * 86400);  // 1900 is no leap year
}

TEST(SecondsValue, BrokenDownFromSeconds) {
  LocalDateTime dt;
  ASSERT_TRUE(DateTimeFromSeconds(36526LL * 86400 + 13 * 3600 + 5 * 60 + 9, dt));
  EXPECT_EQ(dt.year, 2000);
  EXPECT_EQ(dt.month, 1);
  EXPECT_EQ(dt.day, 1);
  EXPECT_EQ(dt.hour, 13);
  EXPECT_EQ(dt.minute, 5);
  EXPECT_EQ(dt.second, 9);
  ASSERT_TRUE(DateTimeFromSeconds(-1, dt));
  EXPECT_EQ(dt.year, 1899);
  EXPECT_EQ(dt.month, 12);
  EXPECT_EQ(dt.day, 29);
  EXPECT_EQ(dt.hour, 23);
  EXPECT_EQ(dt.minute, 59);
  EXPECT_EQ(dt.second, 59);
  ASSERT_TRUE(DateTimeFromSeconds(60LL * 86400, dt));  // the day before 1 March 1900
  EXPECT_EQ(dt.month, 2);
  EXPECT_EQ(dt.day, 28);
}

TEST(SecondsValue, WalkingDayByDayMatchesACalendar) {
  // A plain calendar counter against the conversion, 1899 to 2101.
  int y = 1899, m = 12, d = 30;
  auto daysIn = [](int yy, int mm) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (yy % 4 == 0 && yy % 100 != 0) || yy % 400 == 0;
    return mm == 2 && leap ? 29 : days[mm - 1];
  };
  for (int64_t day = 0; y < 2101; ++day) {
    LocalDateTime dt;
    ASSERT_TRUE(DateTimeFromSeconds(day * 86400 + 43200, dt));
    ASSERT_EQ(dt.year, y) << "day " << day;
    ASSERT_EQ(dt.month, m) << "day " << day;
    ASSERT_EQ(dt.day, d) << "day " << day;
    ASSERT_EQ(dt.hour, 12);
    ASSERT_EQ(Seconds(dt), day * 86400 + 43200);
    if (++d > daysIn(y, m)) {
      d = 1;
      if (++m > 12) {
        m = 1;
        ++y;
      }
    }
  }
}

TEST(SecondsValue, RangeIsYearsOneTo9999) {
  const int64_t first = Seconds(Dt(1, 1, 1));
  const int64_t last = Seconds(Dt(9999, 12, 31, 23, 59, 59));
  LocalDateTime dt;
  EXPECT_TRUE(DateTimeFromSeconds(first, dt));
  EXPECT_EQ(dt.year, 1);
  EXPECT_TRUE(DateTimeFromSeconds(last, dt));
  EXPECT_EQ(dt.year, 9999);
  EXPECT_FALSE(DateTimeFromSeconds(first - 1, dt));
  EXPECT_FALSE(DateTimeFromSeconds(last + 1, dt));
  EXPECT_FALSE(DateTimeFromSeconds(std::numeric_limits<int64_t>::min(), dt));
  EXPECT_FALSE(DateTimeFromSeconds(std::numeric_limits<int64_t>::max(), dt));
  EXPECT_EQ(DateText(last + 1), "");
  EXPECT_EQ(DateText(std::numeric_limits<int64_t>::max()), "");
  EXPECT_EQ(DateTimeText(" ", first - 1), "");
  EXPECT_EQ(LogTimestamp(std::numeric_limits<int64_t>::min()), "");
}

TEST(SecondsValue, InvalidBrokenDownDates) {
  int64_t s = 0;
  EXPECT_FALSE(SecondsFromDateTime(Dt(2023, 2, 29), s));
  EXPECT_TRUE(SecondsFromDateTime(Dt(2024, 2, 29), s));
  EXPECT_FALSE(SecondsFromDateTime(Dt(1900, 2, 29), s));
  EXPECT_TRUE(SecondsFromDateTime(Dt(2000, 2, 29), s));
  EXPECT_FALSE(SecondsFromDateTime(Dt(2024, 4, 31), s));
  EXPECT_FALSE(SecondsFromDateTime(Dt(2024, 13, 1), s));
  EXPECT_FALSE(SecondsFromDateTime(Dt(2024, 0, 1), s));
  EXPECT_FALSE(SecondsFromDateTime(Dt(2024, 1, 0), s));
  EXPECT_FALSE(SecondsFromDateTime(Dt(0, 1, 1), s));
  EXPECT_FALSE(SecondsFromDateTime(Dt(10000, 1, 1), s));
  EXPECT_FALSE(SecondsFromDateTime(Dt(2024, 1, 1, 24), s));
  EXPECT_FALSE(SecondsFromDateTime(Dt(2024, 1, 1, 0, 60), s));
  EXPECT_FALSE(SecondsFromDateTime(Dt(2024, 1, 1, 0, 0, 60), s));
  EXPECT_FALSE(SecondsFromDateTime(Dt(2024, 1, 1, -1), s));
}

TEST(DateText, DayMonthAbbreviationYear) {
  EXPECT_EQ(DateTextOf(Dt(2026, 12, 7)), "07-DEC-2026");
  EXPECT_EQ(DateText(k7Dec2026), "07-DEC-2026");
  EXPECT_EQ(DateText(k7Dec2026 + 86399), "07-DEC-2026");
  EXPECT_EQ(DateText(k7Dec2026 + 86400), "08-DEC-2026");
  EXPECT_EQ(DateTextOf(Dt(2026, 1, 31)), "31-JAN-2026");
  EXPECT_EQ(DateTextOf(Dt(5, 6, 1)), "01-JUN-0005");
  const char* months[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  for (int m = 1; m <= 12; ++m) EXPECT_EQ(DateTextOf(Dt(2001, m, 9)), std::string("09-") + months[m - 1] + "-2001");
  EXPECT_EQ(DateTextOf(Dt(2026, 13, 7)), "");
  EXPECT_EQ(DateTextOf(Dt(2026, 0, 7)), "");
}

TEST(DateText, WithTime) {
  EXPECT_EQ(DateTimeTextOf(" ", Dt(2026, 12, 7, 1, 1, 1)), "07-DEC-2026 01:01:01");
  EXPECT_EQ(DateTimeText(" - ", k7Dec2026 + 23 * 3600 + 59 * 60 + 58), "07-DEC-2026 - 23:59:58");
  EXPECT_EQ(DateTimeText("", k7Dec2026), "07-DEC-202600:00:00");
  EXPECT_EQ(DateTimeTextOf(" ", Dt(2026, 12, 7, 24, 0, 0)), "");
}

TEST(LogTimestamp, DayMonthTwoDigitYearAnd24HourTime) {
  EXPECT_EQ(LogTimestampOf(Dt(2026, 12, 7, 14, 5, 9), "/", ":"), "07/12/26 14:05:09");
  EXPECT_EQ(LogTimestampOf(Dt(2005, 3, 4, 0, 0, 0), "/", ":"), "04/03/05 00:00:00");
  EXPECT_EQ(LogTimestampOf(Dt(2100, 1, 2, 23, 59, 59), ".", "."), "02.01.00 23.59.59");
  EXPECT_EQ(LogTimestampOf(Dt(1999, 10, 11, 12, 13, 14), "-", ""), "11-10-99 121314");
  EXPECT_EQ(LogTimestampOf(Dt(1999, 2, 30), "/", ":"), "");
  const std::string ds = LocaleDateSeparator(), ts = LocaleTimeSeparator();
  EXPECT_FALSE(ds.empty());
  EXPECT_FALSE(ts.empty());
  EXPECT_EQ(LogTimestamp(k7Dec2026 + 14 * 3600 + 5 * 60 + 9),
            "07" + ds + "12" + ds + "26 14" + ts + "05" + ts + "09");
}

TEST(Now, MinusOneMeansTheLocalClock) {
  const LocalDateTime before = CurrentLocalDateTime();
  const std::string date = DateText(-1);
  const std::string stamp = LogTimestamp(-1);
  const std::string both = DateTimeText("|", -1);
  const int64_t now = NowSeconds();
  const LocalDateTime after = CurrentLocalDateTime();
  ASSERT_TRUE(IsValidDateTime(before));
  ASSERT_TRUE(IsValidDateTime(after));
  EXPECT_TRUE(date == DateTextOf(before) || date == DateTextOf(after)) << date;
  EXPECT_TRUE(stamp == LogTimestampOf(before, LocaleDateSeparator(), LocaleTimeSeparator()) ||
              stamp == LogTimestampOf(after, LocaleDateSeparator(), LocaleTimeSeparator()))
      << stamp;
  EXPECT_TRUE(both == DateTimeTextOf("|", before) || both == DateTimeTextOf("|", after)) << both;
  EXPECT_GE(now, Seconds(before));
  EXPECT_LE(now, Seconds(after));
  EXPECT_GT(now, Seconds(Dt(2020, 1, 1)));  // a real clock, not the epoch
}
