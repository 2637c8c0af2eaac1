#include "util/Files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Shift-JIS lead bytes: 0x81-0x9F and 0xE0-0xFC. "\x95\x5C" is one character whose
// second byte looks like a backslash.
bool ShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

TEST(FilesPathText, SetTrailingBackslash) {
  EXPECT_EQ(SetTrailingBackslash("C:\\", false), "C:");
  EXPECT_EQ(SetTrailingBackslash("C:", true), "C:\\");
  EXPECT_EQ(SetTrailingBackslash("C:\\App", true), "C:\\App\\");
  EXPECT_EQ(SetTrailingBackslash("C:\\App\\", true), "C:\\App\\");
  EXPECT_EQ(SetTrailingBackslash("C:\\App\\", false), "C:\\App");
  EXPECT_EQ(SetTrailingBackslash("C:\\App", false), "C:\\App");
  // Only one is removed.
  EXPECT_EQ(SetTrailingBackslash("C:\\App\\\\", false), "C:\\App\\");
  // Too short to lose it, and never doubled.
  EXPECT_EQ(SetTrailingBackslash("x\\", false), "x\\");
  EXPECT_EQ(SetTrailingBackslash("x\\", true), "x\\");
  EXPECT_EQ(SetTrailingBackslash("\\", false), "\\");
  // A failed lookup must not turn into the root folder.
  EXPECT_EQ(SetTrailingBackslash("", true), "");
}

TEST(FilesPathText, NoTrailingBackslash) {
  EXPECT_EQ(NoTrailingBackslash("\\"), "");
  EXPECT_EQ(NoTrailingBackslash("C:\\"), "C:");
  EXPECT_EQ(NoTrailingBackslash("a\\"), "a");
  EXPECT_EQ(NoTrailingBackslash("\\\\"), "\\");
  EXPECT_EQ(NoTrailingBackslash("C:\\App"), "C:\\App");
  EXPECT_EQ(NoTrailingBackslash(""), "");
}

TEST(FilesPathText, DoubleByteTrailIsNotABackslash) {
  const std::string table = "C:\\\x95\\";  // ends in the character 0x95 0x5C
  EXPECT_FALSE(EndsWithBackslash(table, ShiftJisLead));
  EXPECT_TRUE(EndsWithBackslash(table, nullptr));
  EXPECT_EQ(NoTrailingBackslash(table, ShiftJisLead), table);
  EXPECT_EQ(SetTrailingBackslash(table, false, ShiftJisLead), table);
  EXPECT_EQ(SetTrailingBackslash(table, true, ShiftJisLead), table + "\\");
  // A real backslash after the character goes.
  EXPECT_EQ(SetTrailingBackslash(table + "\\", false, ShiftJisLead), table);
  // The byte before the backslash is a lead-byte value, but it is the second byte of
  // the character 0x95 0x95: the backslash is real.
  EXPECT_EQ(NoTrailingBackslash("ab\x95\x95\\", ShiftJisLead), "ab\x95\x95");
}

TEST(FilesPathText, CollapseBackslashes) {
  EXPECT_EQ(CollapseBackslashes("C:\\a\\\\b", false), "C:\\a\\b");
  EXPECT_EQ(CollapseBackslashes("C:\\\\\\a", false), "C:\\a");
  EXPECT_EQ(CollapseBackslashes("a\\\\\\", false), "a\\");
  // A UNC start keeps both backslashes; a third one goes.
  EXPECT_EQ(CollapseBackslashes("\\\\server\\share", false), "\\\\server\\share");
  EXPECT_EQ(CollapseBackslashes("\\\\\\server\\share", false), "\\\\server\\share");
  EXPECT_EQ(CollapseBackslashes("\\\\srv\\\\share", false), "\\\\srv\\share");
  // A quoted UNC path stays as it was; a quoted local path is collapsed.
  EXPECT_EQ(CollapseBackslashes("\"\\\\server\\share\"", false), "\"\\\\server\\share\"");
  EXPECT_EQ(CollapseBackslashes("\"C:\\\\x\"", false), "\"C:\\x\"");
  // Without the closing quote the exception does not apply.
  EXPECT_EQ(CollapseBackslashes("\"\\\\server", false), "\"\\server");
  EXPECT_EQ(CollapseBackslashes("C:\\a\\\\", true), "C:\\a");
  EXPECT_EQ(CollapseBackslashes("C:\\a\\", true), "C:\\a");
  EXPECT_EQ(CollapseBackslashes("\\\\", false), "\\\\");
  EXPECT_EQ(CollapseBackslashes("", true), "");
  // A trail byte 0x5C followed by a backslash is no doubled backslash.
  EXPECT_EQ(CollapseBackslashes("C:\x95\\\\x", false, ShiftJisLead), "C:\x95\\\\x");
  EXPECT_EQ(CollapseBackslashes("C:\x95\\\\x", false, nullptr), "C:\x95\\x");
}

TEST(FilesPathText, FileBaseNameAndPrefix) {
  EXPECT_EQ(FileBaseName("C:\\App\\setup.exe"), "setup");
  EXPECT_EQ(FileBaseName("C:\\App\\pack.tar.gz"), "pack.tar");
  EXPECT_EQ(FileBaseName("C:\\App\\pack.tar.gz", true), "pack");
  EXPECT_EQ(FileBaseName("C:\\a.b\\file"), "file");
  EXPECT_EQ(FileBaseName("C:setup.exe"), "setup");
  EXPECT_EQ(FileBaseName("dir/x.txt"), "x");
  EXPECT_EQ(FileBaseName("setup"), "setup");
  EXPECT_EQ(FileBaseName(""), "");
  EXPECT_EQ(FileBaseName("C:\\\x95\\.exe", false, ShiftJisLead), "\x95\\");
  EXPECT_EQ(FileBaseName("C:\\\x95\\.exe", false, nullptr), "");

  EXPECT_EQ(FilePrefixOf("C:\\x\\*.tmp"), "C:\\x\\");
  EXPECT_EQ(FilePrefixOf("*.tmp"), "");
  EXPECT_EQ(FilePrefixOf("C:*.tmp"), "C:");
  EXPECT_EQ(FilePrefixOf("C:\\App\\setup.exe"), "C:\\App\\");
}

TEST(FilesPathText, RootsThatDeleteTreeRefuses) {
  for (const char* root : {"", "\\", "C:", "c:\\", "C:/", "C:\\\\", "\\\\srv", "\\\\srv\\share",
                           "\\\\srv\\share\\", "\\\\?\\C:\\", "\\\\.\\D:"})
    EXPECT_TRUE(IsDriveOrShareRoot(root)) << root;
  for (const char* folder : {"C:\\x", "C:\\x\\", "\\\\srv\\share\\dir", "x", "\\\\?\\C:\\x"})
    EXPECT_FALSE(IsDriveOrShareRoot(folder)) << folder;
}

TEST(FilesWrite, ChunkSize) {
  EXPECT_EQ(WriteChunkSize(5 * 1048576), 524288);
  EXPECT_EQ(WriteChunkSize(2000), 1024);
  EXPECT_EQ(WriteChunkSize(20000), 2000);
  EXPECT_EQ(WriteChunkSize(10240), 1024);  // 1024 is not above 1024
  EXPECT_EQ(WriteChunkSize(10250), 1025);
  EXPECT_EQ(WriteChunkSize(100), 100);
  EXPECT_EQ(WriteChunkSize(20 * 1048576), 1048576);
  EXPECT_EQ(WriteChunkSize(0), 0);

  EXPECT_FALSE(WriteGoesInChunks(1048576, false));
  EXPECT_TRUE(WriteGoesInChunks(1048577, false));
  EXPECT_TRUE(WriteGoesInChunks(10, true));
  EXPECT_FALSE(WriteGoesInChunks(0, false));
}

struct Recorder {
  std::string sink;
  std::vector<int64_t> writes;
  std::vector<int> modes;
  std::vector<int64_t> dones;
  int failAt = -1;        // this write (0-based) fails
  int64_t partial = 0;    // when above 0, every write takes at most this many bytes
  int cancelAtCall = -1;  // this callback (0-based) sets cancel

  ChunkWriter Writer() {
    return [this](const char* p, int64_t n) -> int64_t {
      if (int(writes.size()) == failAt) {
        writes.push_back(-1);
        return -1;
      }
      if (partial > 0 && n > partial) n = partial;
      writes.push_back(n);
      sink.append(p, size_t(n));
      return n;
    };
  }
  FileProgress Progress() {
    return [this](int mode, int64_t total, int64_t done, bool& cancel) {
      EXPECT_GT(total, -1);
      if (int(modes.size()) == cancelAtCall) cancel = true;
      modes.push_back(mode);
      dones.push_back(done);
    };
  }
};

std::string Pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char('a' + i % 23);
  return s;
}

TEST(FilesWrite, FiveMiBWithCallbackGoesInTenChunks) {
  const std::string data = Pattern(5 * 1048576);
  Recorder r;
  EXPECT_EQ(WriteInChunks(data.data(), int64_t(data.size()), r.Progress(), r.Writer()),
            int64_t(data.size()));
  EXPECT_EQ(r.writes, std::vector<int64_t>(10, 524288));
  ASSERT_EQ(r.modes.size(), 11u);
  EXPECT_EQ(r.modes[0], 0);
  EXPECT_EQ(r.dones[0], 0);
  for (size_t i = 1; i < 11; ++i) {
    EXPECT_EQ(r.modes[i], 1);
    EXPECT_EQ(r.dones[i], int64_t(i) * 524288);
  }
  EXPECT_TRUE(r.sink == data);
}

TEST(FilesWrite, SmallDataWithCallbackUsesKibChunks) {
  const std::string data = Pattern(2000);
  Recorder r;
  EXPECT_EQ(WriteInChunks(data.data(), 2000, r.Progress(), r.Writer()), 2000);
  EXPECT_EQ(r.writes, (std::vector<int64_t>{1024, 976}));
  EXPECT_EQ(r.dones, (std::vector<int64_t>{0, 1024, 2000}));
  EXPECT_EQ(r.sink, data);
}

TEST(FilesWrite, LargeDataWithoutCallback) {
  // 3 MiB / 10 = 314572 (truncated): ten full chunks and 8 bytes.
  const std::string data = Pattern(3 * 1048576);
  Recorder r;
  EXPECT_EQ(WriteInChunks(data.data(), int64_t(data.size()), nullptr, r.Writer()),
            int64_t(data.size()));
  ASSERT_EQ(r.writes.size(), 11u);
  for (size_t i = 0; i < 10; ++i) EXPECT_EQ(r.writes[i], 314572);
  EXPECT_EQ(r.writes[10], 8);
  EXPECT_TRUE(r.sink == data);
}

TEST(FilesWrite, CancelInFirstCallbackStopsAfterFirstChunk) {
  const std::string data = Pattern(5 * 1048576);
  Recorder r;
  r.cancelAtCall = 0;
  EXPECT_EQ(WriteInChunks(data.data(), int64_t(data.size()), r.Progress(), r.Writer()), 524288);
  EXPECT_EQ(r.writes, std::vector<int64_t>{524288});
  EXPECT_EQ(r.dones, (std::vector<int64_t>{0, 524288}));
}

TEST(FilesWrite, FailedOrShortWrites) {
  const std::string data = Pattern(20000);
  Recorder failing;
  failing.failAt = 2;
  EXPECT_EQ(WriteInChunks(data.data(), 20000, failing.Progress(), failing.Writer()), 4000);
  EXPECT_EQ(failing.writes, (std::vector<int64_t>{2000, 2000, -1}));
  // The callback is not called for the failed write.
  EXPECT_EQ(failing.dones, (std::vector<int64_t>{0, 2000, 4000}));

  // A write that takes fewer bytes is continued from where it stopped.
  Recorder shortWrites;
  shortWrites.partial = 1500;
  EXPECT_EQ(WriteInChunks(data.data(), 20000, nullptr, shortWrites.Writer()), 20000);
  EXPECT_EQ(shortWrites.writes.size(), 14u);  // 20000 / 1500 = 13.3
  EXPECT_EQ(shortWrites.sink, data);

  Recorder empty;
  EXPECT_EQ(WriteInChunks(data.data(), 0, empty.Progress(), empty.Writer()), 0);
  EXPECT_TRUE(empty.writes.empty());
  EXPECT_EQ(empty.dones, std::vector<int64_t>{0});
}

TEST(FilesDisk, DiskFreeQueryPaths) {
  using V = std::vector<std::string>;
  EXPECT_EQ(DiskFreeQueryPaths("D:/Setup/x"), (V{"D:\\Setup", "D:\\"}));
  EXPECT_EQ(DiskFreeQueryPaths("C:\\Data\\Sub\\x"), (V{"C:\\Data", "C:\\"}));
  EXPECT_EQ(DiskFreeQueryPaths("c:\\Data"), (V{"c:\\Data", "C:\\"}));
  EXPECT_EQ(DiskFreeQueryPaths("C:\\"), (V{"C:\\"}));
  EXPECT_EQ(DiskFreeQueryPaths("d:\\"), (V{"d:\\"}));
  EXPECT_EQ(DiskFreeQueryPaths("C:"), (V{"C:", "C:\\"}));
  EXPECT_EQ(DiskFreeQueryPaths("rel\\x"), (V{"rel"}));
  EXPECT_EQ(DiskFreeQueryPaths("\\\\srv\\share\\dir\\f"), (V{"\\\\srv\\share\\"}));
  EXPECT_EQ(DiskFreeQueryPaths("//srv/share"), (V{"\\\\srv\\share\\"}));
  EXPECT_EQ(DiskFreeQueryPaths("\\\\srv"), V{});
  EXPECT_EQ(DiskFreeQueryPaths("\\\\srv\\"), V{});
  EXPECT_EQ(DiskFreeQueryPaths(""), V{});
}

TEST(FilesDisk, DriveLetterAndSearchName) {
  EXPECT_EQ(DriveLetterOf("c:\\x"), 'C');
  EXPECT_EQ(DriveLetterOf("Z:"), 'Z');
  EXPECT_EQ(DriveLetterOf("1:\\"), 0);
  EXPECT_EQ(DriveLetterOf("c"), 0);
  EXPECT_EQ(DriveLetterOf(""), 0);

  EXPECT_EQ(SearchNameOf("setup.exe"), "setup.exe");
  EXPECT_EQ(SearchNameOf("\\Vendor\\App\\"), "Vendor\\App");
  EXPECT_EQ(SearchNameOf("a/b"), "a\\b");
  for (const char* bad : {"", "\\", "*.exe", "a?", "C:\\x", "..\\x", "a\\..\\b", "a\\\\b", ".",
                          "a\\."})
    EXPECT_EQ(SearchNameOf(bad), "") << bad;
}

SelfDeleteBatch AppBatch(bool removeFolder) {
  SelfDeleteBatch b;
  b.exePath = "C:\\App\\setup.exe";
  b.folder = "C:\\App";
  b.batchPath = "C:\\Temp\\_DEL_ME_.BAT";
  b.systemDir = "C:\\Windows\\system32";
  b.removeFolder = removeFolder;
  b.tries = 30;
  return b;
}

TEST(FilesSelfDelete, BatchNames) {
  EXPECT_EQ(SelfDeleteBatchName("C:\\T\\", 0), "C:\\T\\_DEL_ME_.BAT");
  EXPECT_EQ(SelfDeleteBatchName("C:\\T\\", 1), "C:\\T\\_DEL_ME_1.BAT");
  EXPECT_EQ(SelfDeleteBatchName("C:\\T\\", 12), "C:\\T\\_DEL_ME_12.BAT");
}

TEST(FilesSelfDelete, BatchWithFolder) {
  const std::string expected =
      "@ECHO OFF\r\n"
      "SET /A DELME_TRY=0\r\n"
      ":START\r\n"
      "\"C:\\Windows\\system32\\ATTRIB.EXE\" -R -S -H \"C:\\App\\setup.exe\" >NUL 2>NUL\r\n"
      "DEL /F /Q \"C:\\App\\setup.exe\" >NUL 2>NUL\r\n"
      "IF exist \"C:\\App\\setup.exe\" GOTO RETRY\r\n"
      "GOTO DONE\r\n"
      ":RETRY\r\n"
      "SET /A DELME_TRY=DELME_TRY+1\r\n"
      "IF %DELME_TRY% GEQ 30 GOTO DONE\r\n"
      "\"C:\\Windows\\system32\\PING.EXE\" -n 2 127.0.0.1 >NUL\r\n"
      "GOTO START\r\n"
      ":DONE\r\n"
      "\"C:\\Windows\\system32\\ATTRIB.EXE\" -R \"C:\\App\" >NUL 2>NUL\r\n"
      "RD \"C:\\App\"\r\n"
      "DEL \"C:\\Temp\\_DEL_ME_.BAT\"\r\n";
  EXPECT_EQ(BuildSelfDeleteBatch(AppBatch(true)), expected);
}

TEST(FilesSelfDelete, BatchWithoutFolder) {
  const std::string text = BuildSelfDeleteBatch(AppBatch(false));
  EXPECT_EQ(text.find("RD "), std::string::npos);
  EXPECT_EQ(text.find("\"C:\\App\""), std::string::npos);
  const std::string tail = ":DONE\r\nDEL \"C:\\Temp\\_DEL_ME_.BAT\"\r\n";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  // Without a folder to remove, an empty folder is no error.
  SelfDeleteBatch b = AppBatch(false);
  b.folder.clear();
  EXPECT_EQ(BuildSelfDeleteBatch(b), text);
}

TEST(FilesSelfDelete, PercentDoubledAndTriesBounded) {
  SelfDeleteBatch b = AppBatch(true);
  b.exePath = "C:\\100%\\%TEMP%.exe";
  b.folder = "C:\\100%";
  b.tries = 0;
  const std::string text = BuildSelfDeleteBatch(b);
  EXPECT_NE(text.find("DEL /F /Q \"C:\\100%%\\%%TEMP%%.exe\""), std::string::npos);
  EXPECT_NE(text.find("RD \"C:\\100%%\"\r\n"), std::string::npos);
  EXPECT_EQ(text.find("%TEMP%.exe"), std::string::npos);
  EXPECT_NE(text.find("GEQ 1 GOTO DONE"), std::string::npos);
  b.tries = 100000;
  EXPECT_NE(BuildSelfDeleteBatch(b).find("GEQ 9999 GOTO DONE"), std::string::npos);
}

TEST(FilesSelfDelete, PathsABatchLineCannotCarryAreRefused) {
  for (const std::string& bad : {std::string("C:\\a\".exe"), std::string("C:\\a\r\nDEL C:\\x"),
                                 std::string("C:\\a\0b", 6), std::string()}) {
    SelfDeleteBatch b = AppBatch(true);
    b.exePath = bad;
    EXPECT_EQ(BuildSelfDeleteBatch(b), "");
    b = AppBatch(true);
    b.folder = bad;
    EXPECT_EQ(BuildSelfDeleteBatch(b), "");
    b = AppBatch(false);
    b.batchPath = bad;
    EXPECT_EQ(BuildSelfDeleteBatch(b), "");
  }
  SelfDeleteBatch b = AppBatch(false);
  b.systemDir.clear();
  EXPECT_EQ(BuildSelfDeleteBatch(b), "");
}

}  // namespace
