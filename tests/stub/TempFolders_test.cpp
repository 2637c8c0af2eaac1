#include "stub/TempFolders.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stub/MainWindow.h"

namespace {

TEST(SetupTempFolderName, TimeOfDayAndAttempts) {
  // 17:03:09 packs to 17 << 11 | 3 << 5 | 4.
  EXPECT_EQ(DosTimeOfDay(17, 3, 9), 34916);
  EXPECT_EQ(DosTimeOfDay(0, 0, 0), 0);
  EXPECT_EQ(DosTimeOfDay(23, 59, 59), 49021);
  // Out-of-range parts (a date before 1980 still has a valid time; garbage does not
  // wrap into other fields).
  EXPECT_EQ(DosTimeOfDay(24, 60, 61), 0);
  EXPECT_EQ(SetupFolderName("C:\\T\\", 31245, 0), "C:\\T\\SETUP_31245");
  EXPECT_EQ(SetupFolderName("C:\\T\\", 31245, 3), "C:\\T\\SETUP_31245_3");
  EXPECT_EQ(SetupFolderLockName("C:\\T\\SETUP_1"), "C:\\T\\SETUP_1.lock");
  EXPECT_EQ(SetupFolderLockName("C:\\T\\SETUP_1\\"), "C:\\T\\SETUP_1.lock");
}

TEST(SetupTempFolderName, AttemptOrderPrefersTheFolderTheProgramRunsIn) {
  std::vector<int> plain = SetupFolderAttemptOrder("C:\\T\\", 7, "C:\\Downloads");
  ASSERT_EQ(plain.size(), size_t(kSetupFolderAttempts));
  EXPECT_EQ(plain[0], 0);
  EXPECT_EQ(plain[99], 99);
  std::vector<int> inside = SetupFolderAttemptOrder("C:\\T\\", 7, "c:\\t\\setup_7_4\\");
  ASSERT_EQ(inside.size(), size_t(kSetupFolderAttempts));
  EXPECT_EQ(inside[0], 4);
  EXPECT_EQ(inside[1], 0);
  EXPECT_EQ(inside[5], 5);
  // A folder of another time of day is no candidate.
  EXPECT_EQ(SetupFolderAttemptOrder("C:\\T\\", 7, "C:\\T\\SETUP_8")[0], 0);
}

TEST(AlternativeTemp, DriveChoice) {
  const double GB = 1073741824.0;
  // Temp on C with 1 GB, D with 5 GB, E not fixed (not probed): D.
  EXPECT_EQ(ChooseAlternativeDrive('C', 1 * GB, {{'C', 1 * GB}, {'D', 5 * GB}}), 'D');
  // Equal room on D and E: the first found wins.
  EXPECT_EQ(ChooseAlternativeDrive('C', 1 * GB, {{'C', 1 * GB}, {'D', 5 * GB}, {'E', 5 * GB}}), 'D');
  // The temp drive with the most room keeps its place.
  EXPECT_EQ(ChooseAlternativeDrive('D', 9 * GB, {{'C', 2 * GB}, {'D', 9 * GB}}), 'D');
  // A temp drive outside C..E starts from its own room, not from 0.
  EXPECT_EQ(ChooseAlternativeDrive('F', 8 * GB, {{'C', 2 * GB}, {'D', 3 * GB}}), 'F');
  EXPECT_EQ(ChooseAlternativeDrive('F', 1 * GB, {{'C', 2 * GB}, {'D', 3 * GB}}), 'D');
  // Drives whose probe failed count 0 and are never chosen.
  EXPECT_EQ(ChooseAlternativeDrive('C', 0, {{'C', 0}, {'D', 0}}), 'C');
  EXPECT_EQ(ChooseAlternativeDrive('C', -1, {{'D', 0}}), 'C');

  EXPECT_EQ(AlternativeBaseName('D', false), "D:\\TEMP");
  EXPECT_EQ(AlternativeBaseName('D', true), "D:\\TEMP\\TEMP");
  EXPECT_EQ(AlternativeFolderName("D:\\TEMP", 12345), "D:\\TEMP_12345");
}

TEST(ForcePrompt, OnlyTheExactOne) {
  EXPECT_TRUE(IsForcePromptOn("1"));
  EXPECT_FALSE(IsForcePromptOn("1 "));
  EXPECT_FALSE(IsForcePromptOn("yes"));
  EXPECT_FALSE(IsForcePromptOn("0"));
  EXPECT_FALSE(IsForcePromptOn(""));
}

TEST(MainWindowDecisions, GeometryFollowsTheCharset) {
  MainWindowLayout ltr = MainWindowLayoutFor(0);
  EXPECT_EQ(ltr.status, (ChildRect{70, 20, 340, 18}));
  EXPECT_EQ(ltr.bigBar, (ChildRect{70, 38, 392, 13}));
  EXPECT_EQ(ltr.activityBar, (ChildRect{416, 20, 46, 13}));
  for (int charset : {177, 178}) {
    MainWindowLayout rtl = MainWindowLayoutFor(charset);
    EXPECT_EQ(rtl.status, (ChildRect{122, 20, 340, 18}));
    EXPECT_EQ(rtl.bigBar, ltr.bigBar);
    EXPECT_EQ(rtl.activityBar, (ChildRect{70, 20, 46, 13}));
  }
  EXPECT_EQ(MainWindowLayoutFor(186).status.x, 70);  // Baltic is left to right
}

TEST(MainWindowDecisions, ActivityBarCycles) {
  std::vector<int> seen;
  int position = 0;
  for (int i = 0; i < 7; ++i) seen.push_back(position = NextActivityPosition(position));
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 4, 5, 0, 1}));
}

TEST(MainWindowDecisions, CloseRequests) {
  // Idle: the first request asks to stop, the second destroys.
  EXPECT_FALSE(CloseRequestDestroys(false, false));
  EXPECT_TRUE(CloseRequestDestroys(true, false));
  // While a step runs no request destroys, however often it comes.
  EXPECT_FALSE(CloseRequestDestroys(false, true));
  EXPECT_FALSE(CloseRequestDestroys(true, true));
}

}  // namespace
