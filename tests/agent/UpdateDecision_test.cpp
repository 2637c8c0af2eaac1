// Probe timing and the six tests of the update decision, over INI text and a fake
// size lookup.
#include "agent/UpdateDecision.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>

#include "util/SeparatorLists.h"

namespace {

TEST(ShotTimeStatus, IntervalsForceAndTestMode) {
  const int64_t now = 4'000'000'000;
  struct Case {
    int64_t interval, last;
    bool testMode, force, shotsEnabled;
    int status;
  } cases[] = {
      {3600, now - 3600, false, false, true, 1},   // due exactly at the interval
      {3600, now - 3599, false, false, true, 0},
      {0, now, false, false, true, 2},             // once per run
      {-1, 0, false, false, true, 0},              // never by time
      {-5, 0, false, false, true, 0},              // any negative: never, not every tick
      {INT64_MIN, 0, false, false, true, 0},
      {-1, 0, false, true, true, 1},               // the force flag still probes
      {86400, now - 5, true, false, true, 1},      // test mode: 5 s
      {86400, now - 4, true, false, true, 0},
      {-1, 0, true, false, true, 0},               // -1 holds in test mode too
      {3600, 0, false, false, false, 0},           // timed probes disabled
      {3600, now, false, true, false, 1},
      {INT64_MAX, INT64_MIN, false, false, true, 1},  // no overflow: long overdue
      {INT64_MAX, now - 10, false, false, true, 0},
      {60, INT64_MAX, false, false, true, 1},      // a last probe far in the future is bogus
  };
  for (const Case& c : cases) {
    AgentVariables v;
    v.force = c.force;
    v.shotsEnabled = c.shotsEnabled;
    EXPECT_EQ(ShotTimeStatus(v, c.interval, c.last, now, c.testMode), c.status)
        << c.interval << " " << c.last << " test " << c.testMode << " force " << c.force;
    EXPECT_FALSE(v.force);
  }
}

class Sizes : public SizeLookup {
 public:
  std::map<std::string, int64_t> files, urls;
  bool online = true;
  std::vector<std::string> asked;
  int64_t FileSize(const std::string& p) override {
    asked.push_back(p);
    return files.count(p) ? files[p] : -1;
  }
  bool Online() override { return online; }
  int64_t HttpSize(const std::string& u) override {
    asked.push_back(u);
    return urls.count(u) ? urls[u] : -1;
  }
};

struct Offer {
  std::string info =
      "[NewSetup]\nVersionNew=5\nStamp=1\nDownloadURL_UPDATE=http://vendor/app\nNameOfUpdateFile=Update.exe\n"
      "SizeOfUpdateFile=1000000\n";
  std::string original = "[OriginalSetup]\nVersionOriginal=4\nStamp=0\n";
  bool fetched = true;
  bool checkNow = false;
  Sizes sizes;
  Decision Decide(int64_t now = 4'000'000'000) {
    IniText i(info), o(original);
    DecisionInputs in{fetched, i, o, now, checkNow, false, ""};
    return GetOkToPerformAU(in, sizes);
  }
};

TEST(UpdateDecision, EachCodeWithItsReason) {
  Offer ok;
  ok.sizes.urls["http://vendor/app/Update.exe"] = 1000000;
  Decision d = ok.Decide();
  EXPECT_EQ(d.code, 6);
  EXPECT_EQ(d.reason, "OK");

  Offer o0 = ok;
  o0.fetched = false;
  EXPECT_EQ(o0.Decide().reason, "Error downloading .INFO file");
  Offer o1 = ok;
  o1.original = "[OriginalSetup]\nVersionOriginal=0\n";
  EXPECT_EQ(o1.Decide().reason, "Error reading .ORIGINAL file");
  Offer o2 = ok;
  o2.original = "[OriginalSetup]\nVersionOriginal=4\nStamp=1\n";  // stamp taken, no re-ask interval
  EXPECT_EQ(o2.Decide().code, 2);
  EXPECT_EQ(o2.Decide().reason, "Too early for retesting");
  o2.checkNow = true;  // a user's check gets past it
  EXPECT_EQ(o2.Decide().code, 6);
  Offer o3 = ok;
  o3.original = "[OriginalSetup]\nVersionOriginal=5\n";
  EXPECT_EQ(o3.Decide().reason, "New version is not higher then old version");
  Offer o4 = ok;
  o4.info += "ValidVersions=3,45\n";
  EXPECT_EQ(o4.Decide().reason, "\"Valid for version\" mismatch");
  Offer o5 = ok;
  o5.sizes.urls["http://vendor/app/Update.exe"] = 1000100;
  d = o5.Decide();
  EXPECT_EQ(d.reason, "Download file size error");
  EXPECT_EQ(d.logLines, (std::vector<std::string>{"  InfoSize=1000000", "  HttpSize=1000100",
                                                   "  URL=http://vendor/app/Update.exe"}));
}

TEST(UpdateDecision, ReAskIntervalAndStamp) {
  const int64_t now = 4'000'000'000;
  Offer o;
  o.sizes.urls["http://vendor/app/Update.exe"] = 1000000;
  o.original = "[OriginalSetup]\nVersionOriginal=4\nStamp=1\nReAskSecondsInterval=3600\nReAskSecondsLast=" +
               std::to_string(now - 3600) + "\n";
  EXPECT_EQ(o.Decide(now).code, 2);
  EXPECT_EQ(o.Decide(now + 1).code, 6);
  o.info += "Stamp=2\n";  // the first Stamp key wins: still 1
  EXPECT_EQ(o.Decide(now).code, 2);
  o.info = ReplaceAll(o.info, "Stamp=1", "Stamp=2");
  EXPECT_EQ(o.Decide(now).code, 6);
  // A damaged last time must not wrap into "due".
  o.info = ReplaceAll(o.info, "Stamp=2", "Stamp=1");
  o.original = "[OriginalSetup]\nVersionOriginal=4\nStamp=1\nReAskSecondsInterval=9223372036854775807\n"
               "ReAskSecondsLast=9223372036854775807\n";
  EXPECT_EQ(o.Decide(now).code, 6);  // a last time far ahead of the clock is not trusted
  o.original = "[OriginalSetup]\nVersionOriginal=4\nStamp=1\nReAskSecondsInterval=9223372036854775807\n"
               "ReAskSecondsLast=" + std::to_string(now - 10) + "\n";
  EXPECT_EQ(o.Decide(now).code, 2);
}

TEST(UpdateDecision, ValidVersionsAndSizes) {
  EXPECT_TRUE(IsValidForVersion("", 4));
  EXPECT_TRUE(IsValidForVersion("3,4,5", 4));
  EXPECT_FALSE(IsValidForVersion("3,4,5", 45));
  EXPECT_FALSE(IsValidForVersion("3, 4,5", 4));  // blanks count
  EXPECT_TRUE(IsValidForVersion("3, 4,5", 5));
  EXPECT_TRUE(IsValidForVersion("-1", -1));

  EXPECT_TRUE(SizeMatches(1000099, 1000000));
  EXPECT_TRUE(SizeMatches(999901, 1000000));
  EXPECT_FALSE(SizeMatches(1000100, 1000000));
  EXPECT_FALSE(SizeMatches(-1, 50));   // cannot be sized
  EXPECT_FALSE(SizeMatches(0, -1));    // a negative announced size never matches
  EXPECT_FALSE(SizeMatches(INT64_MAX, 0));
  EXPECT_FALSE(SizeMatches(0, INT64_MAX));
  EXPECT_TRUE(SizeMatches(INT64_MAX, INT64_MAX - 99));
}

TEST(UpdateDecision, WhereTheSizeIsLookedUp) {
  EXPECT_TRUE(IsFolderLocation("C:\\Updates"));
  EXPECT_TRUE(IsFolderLocation("\\\\server\\share"));
  EXPECT_FALSE(IsFolderLocation("Updates"));
  EXPECT_FALSE(IsFolderLocation("http://vendor/app"));
  EXPECT_FALSE(IsFolderLocation("1:x"));

  // A folder location: its file only, never the web.
  Offer folder;
  folder.info = ReplaceAll(folder.info, "http://vendor/app", "C:\\Updates");
  folder.sizes.files["C:\\Updates\\Update.exe"] = 1000000;
  EXPECT_EQ(folder.Decide().code, 6);
  folder.sizes.files.clear();
  folder.sizes.asked.clear();
  folder.sizes.urls["C:\\Updates/Update.exe"] = 1000000;
  EXPECT_EQ(folder.Decide().code, 5);
  EXPECT_EQ(folder.sizes.asked, (std::vector<std::string>{"C:\\Updates\\Update.exe"}));

  // A relative location is never read from the current folder.
  Offer relative;
  relative.info = ReplaceAll(relative.info, "http://vendor/app", "Updates");
  relative.sizes.files["Updates\\Update.exe"] = 1000000;
  relative.sizes.urls["Updates/Update.exe"] = 1000000;
  EXPECT_EQ(relative.Decide().code, 6);
  EXPECT_EQ(relative.sizes.asked, (std::vector<std::string>{"Updates/Update.exe"}));

  // Offline: nothing is asked of the web.
  Offer offline;
  offline.sizes.online = false;
  offline.sizes.urls["http://vendor/app/Update.exe"] = 1000000;
  EXPECT_EQ(offline.Decide().code, 5);
  EXPECT_TRUE(offline.sizes.asked.empty());

  // Inform mode sizes the inform file at the update location.
  Offer inform;
  inform.info += "[AutoInform]\nNameOfInformFile=sub/News.rtf\nSizeOfInformFile=300\n"
                 "DownloadURL_INFORM=http://vendor/news\n[General]\nAutoInform=1\n";
  inform.sizes.urls["http://vendor/app/News.rtf"] = 300;
  EXPECT_EQ(inform.Decide().code, 6);

  // Test mode: the test folder, never the web.
  IniText info(folder.info), original("[OriginalSetup]\nVersionOriginal=4\n");
  Sizes s;
  s.urls["http://vendor/app/Update.exe"] = 1000000;
  s.files["D:\\Test\\Update.exe"] = 1000050;
  DecisionInputs in{true, info, original, 1, false, true, "D:\\Test"};
  EXPECT_EQ(GetOkToPerformAU(in, s).code, 6);
  DecisionInputs web{true, info, original, 1, false, true, "http://test"};
  EXPECT_EQ(GetOkToPerformAU(web, s).code, 5);
}

TEST(CheckQuestion, PartsAndTestModeNote) {
  EXPECT_EQ(CheckQuestionText("Check PROG_NAME?", "<P>from the disk", "<P>Go on?", "C:\\Updates", false, "App"),
            "Check App?<P>from the disk<P>Go on?");
  EXPECT_EQ(CheckQuestionText("Check PROG_NAME?", "<P>from the disk", "", "http://vendor", true, "App"),
            std::string("Check App?") + kTestModeNote);
}

}  // namespace
