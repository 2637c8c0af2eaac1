#include "process/ProcessList.h"

#include <gtest/gtest.h>

namespace {

ProcessEntry Entry(uint32_t pid, const std::string& exe, const std::string& image, uint32_t session = 1,
                   const std::string& shortPath = "") {
  ProcessEntry e;
  e.pid = pid;
  e.sessionId = session;
  e.exeName = exe;
  e.imagePath = image;
  e.shortPath = shortPath;
  return e;
}

ProcessQuery Query(const std::string& path, bool nameOnly, const std::string& shortPath = kNoShortForm,
                   const std::string& longPath = "") {
  ProcessQuery q = MakeProcessQuery(path, nameOnly);
  q.shortPath = shortPath;
  q.longPath = longPath;
  return q;
}

}  // namespace

TEST(ProcessMatch, PathNameAndShortForms) {
  const ProcessEntry setup = Entry(7, "SETUP.EXE", "C:\\Apps\\SETUP.EXE", 1, "C:\\Apps\\SETUP.EXE");
  const ProcessEntry longName =
      Entry(8, "Long Name.exe", "C:\\Program Files\\Long Name.exe", 1, "C:\\PROGRA~1\\LONGNA~1.EXE");
  const ProcessEntry unreadable = Entry(9, "app.exe", "");
  const ProcessEntry noShort = Entry(1, "a.exe", "C:\\y\\a.exe", 1, kNoShortForm);
  struct Case {
    ProcessQuery query;
    const ProcessEntry* entry;
    EntryMatch expected;
  } cases[] = {
      {Query("Setup.exe", false), &setup, EntryMatch::Yes},
      {Query("Setup.exe", true), &setup, EntryMatch::No},
      {Query("  c:\\apps\\setup.exe ", true), &setup, EntryMatch::Yes},
      {Query("C:\\Other\\SETUP.EXE", false), &setup, EntryMatch::No},
      {Query("", false), &setup, EntryMatch::No},
      // The same file spelled short, or long, matches only through its forms.
      {Query("C:\\PROGRA~1\\LONGNA~1.EXE", true, "C:\\PROGRA~1\\LONGNA~1.EXE"), &longName, EntryMatch::Yes},
      {Query("C:\\PROGRA~1\\LONGNA~1.EXE", true, kNoShortForm), &longName, EntryMatch::No},
      {Query("C:\\PROGRA~1\\LONGNA~1.EXE", true, kNoShortForm, "C:\\Program Files\\Long Name.exe"), &longName,
       EntryMatch::Yes},
      // A path without a short form never matches through it, not even "*XX*" itself.
      {Query("C:\\x\\a.exe", false, kNoShortForm), &longName, EntryMatch::No},
      {Query("C:\\x\\a.exe", false, kNoShortForm), &noShort, EntryMatch::No},
      // An unreadable image: its bare name settles a bare query, nothing else does.
      {Query("APP.exe", false), &unreadable, EntryMatch::Yes},
      {Query("APP.exe", true), &unreadable, EntryMatch::CannotTell},
      {Query("C:\\test dir\\app.exe", false), &unreadable, EntryMatch::CannotTell},
      {Query("C:\\test dir\\other.exe", false), &unreadable, EntryMatch::No},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MatchProcessEntry(c.query, *c.entry), c.expected) << c.query.path << " vs " << c.entry->imagePath;
}

TEST(ProcessMatch, OnlyNamesOfTheFileItselfAreCandidates) {
  ProcessQuery q = Query("C:\\Program Files\\Long Name.exe", false, "C:\\PROGRA~1\\LONGNA~1.EXE");
  EXPECT_TRUE(MayBeProcessOf(q, "long name.EXE"));
  EXPECT_TRUE(MayBeProcessOf(q, "LONGNA~1.EXE"));
  EXPECT_FALSE(MayBeProcessOf(q, "other.exe"));
  EXPECT_FALSE(MayBeProcessOf(q, ""));
  EXPECT_FALSE(MayBeProcessOf(Query("C:\\a\\x.exe", false), "*XX*"));
}

TEST(ProcessMatch, ShortFormsAreReadOnlyWhereTheLongFormCannotSettleIt) {
  const ProcessQuery both = Query("C:\\TEST~CZ3\\app.exe", false, "C:\\TEST~CZ3\\app.exe", "C:\\test dir\\app.exe");
  EXPECT_FALSE(NeedsShortFormOf(both, "C:\\other\\app.exe"));
  EXPECT_TRUE(NeedsShortFormOf(both, "C:\\TEST~CZ3\\app.exe"));
  EXPECT_FALSE(NeedsShortFormOf(both, ""));
  EXPECT_TRUE(NeedsShortFormOf(Query("C:\\a\\b.exe", false, "C:\\a\\b.exe"), "C:\\other\\b.exe"));
  EXPECT_FALSE(NeedsShortFormOf(Query("C:\\a\\b.exe", false), "C:\\A~1\\b.exe"));
}

TEST(ProcessList, SessionOrderAndUnknown) {
  const std::vector<ProcessEntry> list = {
      Entry(10, "app.exe", "C:\\other\\app.exe"),   Entry(11, "app.exe", "C:\\test dir\\app.exe", 2),
      Entry(12, "app.exe", "C:\\test dir\\app.exe"), Entry(13, "app.exe", "C:\\test dir\\app.exe"),
      Entry(14, "app.exe", ""),
  };
  const ProcessQuery full = Query("C:\\test dir\\app.exe", false);
  ProcessLookup first = FindInProcessList(full, list, 1, true);
  EXPECT_EQ(first.state, ProcessState::Running);
  EXPECT_EQ(first.pid, 12u);  // 11 runs in another session
  EXPECT_EQ(FindInProcessList(full, list, 1, false).pid, 13u);
  EXPECT_EQ(FindInProcessList(Query("app.exe", false), list, 1, true).pid, 10u);
  // Only the unreadable process may be it: cannot tell, which is not "not running".
  ProcessLookup unsure = FindInProcessList(Query("C:\\third\\app.exe", false), list, 1, true);
  EXPECT_EQ(unsure.state, ProcessState::Unknown);
  EXPECT_EQ(unsure.pid, 0u);
  EXPECT_EQ(FindInProcessList(Query("C:\\third\\app.exe", false), list, 2, true).state,
            ProcessState::NotRunning);
  EXPECT_EQ(FindInProcessList(full, {}, 1, true).state, ProcessState::NotRunning);
}

TEST(ProcessList, Text) {
  const std::vector<ProcessEntry> list = {Entry(4, "a.exe", "C:\\x\\a.exe"), Entry(5, "b.exe", "")};
  EXPECT_EQ(ProcessListText(list, false, false), "|a.exe|b.exe|");
  EXPECT_EQ(ProcessListText(list, true, true), "|C:\\x\\a.exe=4|b.exe=5|");
  EXPECT_EQ(ProcessListText({}, true, false), "|");
}

TEST(TaskList, ParsesTheCsvOfTaskList) {
  const std::string csv =
      "\r\n\"Image Name\",\"PID\",\"Session Name\",\"Session#\",\"Mem Usage\"\r\n"
      "\"System Idle Process\",\"0\",\"Services\",\"0\",\"8 K\"\r\n"
      "\"app.exe\",\"0\",\"Console\",\"1\",\"1,024 K\"\r\n"
      "\"APP.EXE\",\"412\",\"Console\",\"1\",\"12,345 K\"\r\n"
      "\"notepad.exe\",\"500\",\"Console\",\"1\",\"9 K\"\n"
      "\"app.exe\",\"4096\",\"Console\",\"1\",\"2,000 K\"\r\n";
  struct Case {
    std::string output, path;
    bool fromEnd;
    ProcessState state;
    uint32_t pid;
  } cases[] = {
      {csv, "C:\\test dir\\app.exe", false, ProcessState::Running, 412},  // id 0 never counts
      {csv, "app.exe", true, ProcessState::Running, 4096},
      {csv, "notepad.exe", false, ProcessState::Running, 500},  // a bare LF ends a line too
      {csv, "Image Name", false, ProcessState::NotRunning, 0},  // the header never matches
      {csv, "missing.exe", false, ProcessState::NotRunning, 0},
      {"", "app.exe", false, ProcessState::Unknown, 0},  // no output: cannot tell
      {" \r\n ", "app.exe", false, ProcessState::Unknown, 0},
      {"ERROR: Access denied\r\n", "app.exe", false, ProcessState::Unknown, 0},
      {"\"app.exe\",\"99999999999\"\r\n", "app.exe", false, ProcessState::NotRunning, 0},
      {csv, "", false, ProcessState::NotRunning, 0},
  };
  for (const Case& c : cases) {
    ProcessLookup r = ParseTaskList(c.output, c.path, c.fromEnd);
    EXPECT_EQ(r.state, c.state) << c.path;
    EXPECT_EQ(r.pid, c.pid) << c.path;
  }
}
