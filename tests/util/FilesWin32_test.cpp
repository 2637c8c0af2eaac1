// The file helpers against real files, folders, links and processes.
#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/TestFiles.h"
// The function TempDir() of the file helpers hides the test folder class of the same
// name; the tests name the class as "class TempDir".
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#include "util/Files.h"
#pragma GCC diagnostic pop
#include "util/SeparatorLists.h"

namespace {

const char kChildSwitch[] = "--files-self-delete-child=";

// A copy of this test program started with kChildSwitch runs DeleteMySelf and ends
// at once, before any test runs.
[[maybe_unused]] const bool kChildRan = [] {
  const char* line = GetCommandLineA();
  const char* at = std::strstr(line, kChildSwitch);
  if (!at) return false;
  at += sizeof kChildSwitch - 1;
  const bool removeFolder = at[0] == '1';
  const int tries = int(StrToInt64Def(Trim(std::string(at + 2)), kSelfDeleteTries));
  ExitProcess(DeleteMySelf(removeFolder, tries) ? 0 : 3);
}();

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Join(const std::string& a, const std::string& b) { return a + "\\" + b; }

std::string MakeDir(const std::string& path) {
  CreateDirectoryA(path.c_str(), nullptr);
  return path;
}

std::string ModulePath() {
  char buf[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  return std::string(buf, n);
}

// Waits up to ms for done() to hold; test code may poll.
template <class Done>
bool WaitFor(Done done, DWORD ms) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > ms) return false;
    Sleep(50);
  }
  return true;
}

// ---- folder links ---------------------------------------------------------------

struct MountPointBuffer {
  DWORD ReparseTag;
  WORD ReparseDataLength;
  WORD Reserved;
  WORD SubstituteNameOffset;
  WORD SubstituteNameLength;
  WORD PrintNameOffset;
  WORD PrintNameLength;
  WCHAR PathBuffer[1024];
};

bool MakeJunction(const std::string& link, const std::string& target) {
  if (!CreateDirectoryA(link.c_str(), nullptr)) return false;
  bool ok = false;
  {
    HANDLE h = CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      wchar_t wide[MAX_PATH * 2];
      int n = MultiByteToWideChar(CP_ACP, 0, target.c_str(), -1, wide, MAX_PATH * 2);
      std::wstring sub = L"\\??\\" + std::wstring(wide, n > 0 ? size_t(n - 1) : 0);
      MountPointBuffer b{};
      b.ReparseTag = IO_REPARSE_TAG_MOUNT_POINT;
      const WORD bytes = WORD(sub.size() * sizeof(WCHAR));
      std::memcpy(b.PathBuffer, sub.c_str(), bytes);
      b.SubstituteNameLength = bytes;
      b.PrintNameOffset = WORD(bytes + sizeof(WCHAR));
      b.ReparseDataLength = WORD(8 + bytes + 2 * sizeof(WCHAR));
      DWORD returned = 0;
      ok = DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, &b, 8 + b.ReparseDataLength, nullptr, 0,
                           &returned, nullptr) != FALSE;
      CloseHandle(h);
    }
  }
  if (!ok) RemoveDirectoryA(link.c_str());
  return ok;
}

// Wine's host-side name of a path, empty outside Wine.
std::string UnixNameOf(const std::string& path) {
  using UnixName = char*(CDECL*)(LPCWSTR);
  auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  wchar_t wide[MAX_PATH * 2];
  if (!unixName || !MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH * 2))
    return std::string();
  char* u = unixName(wide);
  if (!u) return std::string();
  std::string s = u;
  HeapFree(GetProcessHeap(), 0, u);
  return s;
}

// Starts a host program (Wine runs a Unix program given by its DOS path); Wine does
// not let the caller wait for it.
bool RunHostCommand(const std::string& program, std::string line) {
  using DosName = WCHAR*(CDECL*)(LPCSTR);
  auto dosName = reinterpret_cast<DosName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
  if (!dosName) return false;
  WCHAR* wide = dosName(program.c_str());
  if (!wide) return false;
  char path[MAX_PATH * 2];
  int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, path, sizeof path, nullptr, nullptr);
  HeapFree(GetProcessHeap(), 0, wide);
  if (n <= 0) return false;
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(path, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

// Wine has no junctions; a host symbolic link shows up as a folder reparse point.
bool MakeHostLink(const std::string& link, const std::string& target) {
  const std::string t = UnixNameOf(target);
  // The link does not exist yet: name it through its existing parent.
  std::string parent = UnixNameOf(FilePrefixOf(link));
  if (t.empty() || parent.empty()) return false;
  if (parent.back() != '/') parent += '/';
  const std::string name = link.substr(FilePrefixOf(link).size());
  return RunHostCommand("/bin/ln", "ln -s \"" + t + "\" \"" + parent + name + "\"") &&
         WaitFor([&] { return Exists(link); }, 5000);
}

// Removes a link left by a test, so that no clean-up ever follows it.
void DropFolderLink(const std::string& link) {
  if (!Exists(link)) return;
  if (RemoveDirectoryA(link.c_str()) || DeleteFileA(link.c_str())) return;
  // Wine does not wait for a host program: watch for the link to go.
  const std::string u = UnixNameOf(link);
  if (!u.empty() && RunHostCommand("/bin/rm", "rm -f \"" + u + "\""))
    WaitFor([&] { return !Exists(link); }, 5000);
}

// Drops the links a test made, also when it stops early; declared after the test's
// temp folder, so it runs before that folder's clean-up could follow a link.
struct LinkDropper {
  std::vector<std::string> links;
  ~LinkDropper() {
    for (const std::string& l : links) DropFolderLink(l);
  }
};

enum class LinkKind { None, Junction, HostLink };

LinkKind MakeFolderLink(const std::string& link, const std::string& target) {
  if (MakeJunction(link, target)) return LinkKind::Junction;
  if (MakeHostLink(link, target)) return LinkKind::HostLink;
  return LinkKind::None;
}

bool IsLink(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT) &&
         (a & FILE_ATTRIBUTE_DIRECTORY);
}

// ---- folders of the program and the system ----------------------------------------

TEST(FilesWin32Folders, ProgramAndSystemFolders) {
  const std::string exe = ModulePath();
  EXPECT_EQ(ExePath(), exe);
  const std::string name = exe.substr(exe.rfind('\\') + 1);
  EXPECT_EQ(ExePath(true), name.substr(0, name.rfind('.')));
  EXPECT_EQ(ExeDir(true) + name, exe);
  EXPECT_EQ(ExeDir(false) + "\\" + name, exe);

  char buf[MAX_PATH + 1];
  GetWindowsDirectoryA(buf, sizeof buf);
  EXPECT_TRUE(SameText(WindowsDir(false), NoTrailingBackslash(buf)));
  EXPECT_TRUE(SameText(WindowsDir(true), SetTrailingBackslash(buf, true)));
  GetSystemDirectoryA(buf, sizeof buf);
  EXPECT_TRUE(SameText(SystemDir(false), NoTrailingBackslash(buf)));
  EXPECT_TRUE(Exists(SystemDir(true) + "cmd.exe"));
}

TEST(FilesWin32Folders, TempDirFollowsTheEnvironment) {
  class TempDir tmp;
  char old[4096];
  DWORD had = GetEnvironmentVariableA("TMP", old, sizeof old);
  SetEnvironmentVariableA("TMP", (tmp.Path() + "\\").c_str());
  EXPECT_EQ(TempDir(false), tmp.Path());
  EXPECT_EQ(TempDir(true), tmp.Path() + "\\");
  SetEnvironmentVariableA("TMP", had && had < sizeof old ? old : nullptr);
  EXPECT_TRUE(EndsWithBackslash(TempDir(true)));
  EXPECT_FALSE(EndsWithBackslash(TempDir(false)));
}

// ---- reading and writing ------------------------------------------------------------

TEST(FilesWin32ReadWrite, ReadFileRange) {
  class TempDir tmp;
  const std::string f = tmp.File("digits.txt");
  WriteBytes(f, "0123456789");
  EXPECT_EQ(ReadFileRange(f), "0123456789");
  EXPECT_EQ(ReadFileRange(f, 3, 4), "456");
  EXPECT_EQ(ReadFileRange(f, 0, 8), "89");
  EXPECT_EQ(ReadFileRange(f, 50, 8), "89");
  EXPECT_EQ(ReadFileRange(f, 0, 10), "");
  EXPECT_EQ(ReadFileRange(f, 0, 11), "");
  EXPECT_EQ(ReadFileRange(f, 0, -1), "");
  EXPECT_EQ(ReadFileRange(f, -1, 0), "");
  EXPECT_EQ(ReadFileRange(tmp.File("missing.txt")), "");
  EXPECT_EQ(ReadFileRange(tmp.Path()), "");
  WriteBytes(tmp.File("empty.txt"), "");
  EXPECT_EQ(ReadFileRange(tmp.File("empty.txt")), "");
  // Readable while another program writes it.
  HANDLE w = CreateFileA(f.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(w, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadFileRange(f, 2, 0), "01");
  CloseHandle(w);
}

TEST(FilesWin32ReadWrite, WriteAppendAndDate) {
  class TempDir tmp;
  const std::string f = tmp.File("out.txt");
  EXPECT_TRUE(WriteFileText(f, "abcdef"));
  EXPECT_EQ(ReadBytes(f), "abcdef");
  EXPECT_TRUE(WriteFileText(f, "xy"));  // truncates
  EXPECT_EQ(ReadBytes(f), "xy");
  EXPECT_TRUE(WriteFileText(f, "z", 0, true));
  EXPECT_EQ(ReadBytes(f), "xyz");
  EXPECT_TRUE(WriteFileText(f, ""));
  EXPECT_EQ(ReadBytes(f), "");

  const std::string log = tmp.File("new.log");
  EXPECT_TRUE(AppendFileText(log, "one\r\n"));
  // Another writer holds the file open (as the other agent process does).
  HANDLE other = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(AppendFileText(log, "two\r\n"));
  CloseHandle(other);
  EXPECT_EQ(ReadBytes(log), "one\r\ntwo\r\n");

  // 2021-03-04 05:06:08 local: date (41 << 9) | (3 << 5) | 4 = 21092,
  // time (5 << 11) | (6 << 5) | (8 / 2) = 10436.
  const uint32_t dos = (21092u << 16) | 10436u;
  const std::string dated = tmp.File("dated.bin");
  EXPECT_TRUE(WriteFileText(dated, "data", dos));
  EXPECT_EQ(FileDateOf(dated), dos);
  WIN32_FILE_ATTRIBUTE_DATA a;
  ASSERT_TRUE(GetFileAttributesExA(dated.c_str(), GetFileExInfoStandard, &a));
  FILETIME local;
  SYSTEMTIME st;
  FileTimeToLocalFileTime(&a.ftLastWriteTime, &local);
  FileTimeToSystemTime(&local, &st);
  EXPECT_EQ(st.wYear, 2021);
  EXPECT_EQ(st.wMonth, 3);
  EXPECT_EQ(st.wDay, 4);
  EXPECT_EQ(st.wHour, 5);
  EXPECT_EQ(st.wMinute, 6);
  EXPECT_EQ(st.wSecond, 8);
  EXPECT_TRUE(AppendFileText(dated, "+", dos));
  EXPECT_EQ(FileDateOf(dated), dos);
  EXPECT_EQ(FileDateOf(tmp.File("missing")), 0u);

  // A file that cannot be created is a failure, empty data or not.
  EXPECT_FALSE(WriteFileText(tmp.File("no\\such\\dir.txt"), ""));
  EXPECT_FALSE(WriteFileText(tmp.File("no\\such\\dir.txt"), "x"));
  EXPECT_FALSE(AppendFileText(tmp.File("no\\such\\dir.txt"), "x"));
  EXPECT_FALSE(WriteFileText("", "x"));
}

TEST(FilesWin32ReadWrite, ChunkedWriteWithProgressAndCancel) {
  class TempDir tmp;
  const std::string data = NoiseBytes(5 * 1048576, 7);
  const std::string f = tmp.File("big.bin");
  std::vector<int64_t> dones;
  EXPECT_TRUE(WriteFileText(f, data, 0, false, [&](int, int64_t total, int64_t done, bool&) {
    EXPECT_EQ(total, int64_t(data.size()));
    dones.push_back(done);
  }));
  EXPECT_EQ(dones.size(), 11u);
  EXPECT_EQ(dones.back(), int64_t(data.size()));
  EXPECT_TRUE(ReadBytes(f) == data);

  int calls = 0;
  EXPECT_FALSE(WriteFileText(f, data, 0, false, [&](int, int64_t, int64_t, bool& cancel) {
    ++calls;
    cancel = true;
  }));
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(FileSizeByName(f), 524288);

  // More than 1 MiB without a callback: written whole.
  const std::string mid = NoiseBytes(1048576 + 3, 9);
  EXPECT_TRUE(WriteFileText(f, mid));
  EXPECT_TRUE(ReadBytes(f) == mid);
}

TEST(FilesWin32ReadWrite, SizesAndSeeking) {
  class TempDir tmp;
  WriteBytes(tmp.File("a.bin"), std::string(1234, 'a'));
  MakeDir(tmp.File("dir.bin"));
  EXPECT_EQ(FileSizeByName(tmp.File("a.bin")), 1234);
  EXPECT_EQ(FileSizeByName(tmp.File("*.bin")), 1234);  // the folder match is no file
  EXPECT_EQ(FileSizeByName(tmp.File("dir.bin")), 0);
  EXPECT_EQ(FileSizeByName(tmp.File("missing.bin")), 0);
  EXPECT_EQ(FileSizeByName(""), 0);

  HANDLE h = CreateFileA(tmp.File("a.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(FileSizeOfHandle(h), 1234);
  EXPECT_EQ(SeekFile(h, 10, FILE_BEGIN), 10);
  EXPECT_EQ(SeekFile(h, 5, FILE_CURRENT), 15);
  EXPECT_EQ(SeekFile(h, -4, FILE_END), 1230);
  EXPECT_EQ(SeekFile(h, -5000, FILE_BEGIN), -1);
  CloseHandle(h);
  EXPECT_EQ(FileSizeOfHandle(INVALID_HANDLE_VALUE), -1);
  EXPECT_EQ(SeekFile(nullptr, 0, FILE_BEGIN), -1);
}

TEST(FilesWin32ReadWrite, DiskFree) {
  class TempDir tmp;
  ULARGE_INTEGER avail{}, total{}, free{};
  ASSERT_TRUE(GetDiskFreeSpaceExA(tmp.Path().c_str(), &avail, &total, &free));
  const double here = DiskFree(tmp.Path());
  EXPECT_GT(here, 0);
  EXPECT_LE(here, double(total.QuadPart));
  // Slashes, and a folder that does not exist (asked again at the root).
  EXPECT_GT(DiskFree(ReplaceChar(tmp.Path(), '\\', '/') + "/x"), 0);
  const std::string root = std::string(1, tmp.Path()[0]) + ":\\";
  EXPECT_GT(DiskFree(root + "no such folder\\sub\\file"), 0);
  EXPECT_EQ(DiskFree(""), -1);
  for (char letter = 'Z'; letter >= 'D'; --letter) {
    const std::string r = std::string(1, letter) + ":\\";
    if (GetDriveTypeA(r.c_str()) == DRIVE_NO_ROOT_DIR) {
      EXPECT_EQ(DiskFree(r + "x"), -1) << r;
      break;
    }
  }
}

// ---- deleting -----------------------------------------------------------------------

TEST(FilesWin32Delete, DeleteFilesByMask) {
  class TempDir tmp;
  const std::string d = tmp.Path();
  for (const char* n : {"a.tmp", "b.tmp", "c.tmp", "d.txt"}) WriteBytes(Join(d, n), n);
  MakeDir(Join(d, "e.tmp"));
  SetFileAttributesA(Join(d, "b.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA(Join(d, "c.tmp").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);

  // Without clearing, the read-only file stays; hidden and system ones go.
  EXPECT_TRUE(DeleteFiles(Join(d, "*.tmp"), false));
  EXPECT_FALSE(Exists(Join(d, "a.tmp")));
  EXPECT_TRUE(Exists(Join(d, "b.tmp")));
  EXPECT_FALSE(Exists(Join(d, "c.tmp")));
  EXPECT_TRUE(DeleteFiles(Join(d, "*.tmp"), true));
  EXPECT_FALSE(Exists(Join(d, "b.tmp")));
  EXPECT_TRUE(Exists(Join(d, "d.txt")));
  EXPECT_TRUE(Exists(Join(d, "e.tmp")));  // folders are not files
  EXPECT_FALSE(DeleteFiles(Join(d, "*.tmp"), true));
  EXPECT_FALSE(DeleteFiles(Join(d, "nothing.*"), true));
  EXPECT_FALSE(DeleteFiles("", true));
}

// A tree with a read-only file, a hidden and system file, a hidden subfolder and a
// read-only subfolder, two levels deep.
void BuildTree(const std::string& root) {
  MakeDir(root);
  WriteBytes(Join(root, "top.txt"), "t");
  WriteBytes(Join(root, "ro.txt"), "r");
  SetFileAttributesA(Join(root, "ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  WriteBytes(Join(root, "hs.txt"), "h");
  SetFileAttributesA(Join(root, "hs.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  const std::string sub = MakeDir(Join(root, "sub"));
  WriteBytes(Join(sub, "x.bin"), "x");
  const std::string deep = MakeDir(Join(sub, "deep"));
  WriteBytes(Join(deep, "y.bin"), "y");
  const std::string hidden = MakeDir(Join(root, "hidden"));
  WriteBytes(Join(hidden, "z.bin"), "z");
  SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
  const std::string ro = MakeDir(Join(root, "rodir"));
  WriteBytes(Join(ro, "w.bin"), "w");
  SetFileAttributesA(ro.c_str(), FILE_ATTRIBUTE_READONLY);
}

TEST(FilesWin32Delete, DeleteTreeRemovesEverything) {
  class TempDir tmp;
  const std::string root = Join(tmp.Path(), "tree");
  BuildTree(root);
  EXPECT_TRUE(DeleteTree(root + "\\", true));
  EXPECT_FALSE(Exists(root));
  EXPECT_FALSE(DeleteTree(root, true));  // gone already
  EXPECT_FALSE(DeleteTree("", true));
  WriteBytes(tmp.File("plain.txt"), "p");
  EXPECT_FALSE(DeleteTree(tmp.File("plain.txt"), true));  // a file is no folder
  EXPECT_TRUE(Exists(tmp.File("plain.txt")));
}

TEST(FilesWin32Delete, DeleteTreeReportsWhatIsLeft) {
  class TempDir tmp;
  const std::string root = Join(tmp.Path(), "tree");
  BuildTree(root);
  // Without clearing attributes the read-only file keeps the folder alive.
  EXPECT_FALSE(DeleteTree(root, false));
  EXPECT_TRUE(Exists(Join(root, "ro.txt")));
  EXPECT_FALSE(Exists(Join(root, "top.txt")));
  EXPECT_FALSE(Exists(Join(root, "hidden")));  // hidden subfolders are removed too

  // A file held open without delete sharing.
  const std::string locked = Join(root, "locked.txt");
  WriteBytes(locked, "l");
  HANDLE h = CreateFileA(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(DeleteTree(root, true));
  EXPECT_TRUE(Exists(locked));
  EXPECT_FALSE(Exists(Join(root, "ro.txt")));
  CloseHandle(h);
  EXPECT_TRUE(DeleteTree(root, true));
}

TEST(FilesWin32Delete, DeleteTreeProgressAndCancel) {
  class TempDir tmp;
  const std::string root = Join(tmp.Path(), "tree");
  MakeDir(root);
  for (const char* n : {"s1", "s2", "s3"}) WriteBytes(Join(MakeDir(Join(root, n)), "f"), "f");
  std::vector<int64_t> dones;
  bool cancelNow = true;
  EXPECT_FALSE(DeleteTree(root, true, [&](int mode, int64_t, int64_t done, bool& cancel) {
    EXPECT_EQ(mode, 1);
    dones.push_back(done);
    cancel = cancelNow;
  }));
  EXPECT_EQ(dones, std::vector<int64_t>{1});
  int left = 0;
  for (const char* n : {"s1", "s2", "s3"}) left += Exists(Join(root, n)) ? 1 : 0;
  EXPECT_EQ(left, 2);

  dones.clear();
  cancelNow = false;
  EXPECT_TRUE(DeleteTree(root, true, [&](int, int64_t, int64_t done, bool& cancel) {
    dones.push_back(done);
    cancel = cancelNow;
  }));
  EXPECT_EQ(dones, (std::vector<int64_t>{1, 2}));
}

TEST(FilesWin32Delete, DeleteTreeNeverEntersALink) {
  class TempDir tmp;
  const std::string outside = MakeDir(Join(tmp.Path(), "outside"));
  WriteBytes(Join(outside, "keep.txt"), "keep");
  MakeDir(Join(outside, "keepdir"));
  const std::string root = Join(tmp.Path(), "tree");
  BuildTree(root);
  LinkDropper drop{{Join(root, "link"), Join(root, "sub\\up"), Join(tmp.Path(), "direct")}};
  const LinkKind kind = MakeFolderLink(Join(root, "link"), outside);
  if (kind == LinkKind::None) GTEST_SKIP() << "no folder links on this system";
  ASSERT_TRUE(IsLink(Join(root, "link")));
  // A link back up to the folder that holds the tree: followed, it would never end
  // and would empty the folder.
  ASSERT_EQ(MakeFolderLink(Join(root, "sub\\up"), tmp.Path()), kind);

  const bool gone = DeleteTree(root, true);
  EXPECT_TRUE(Exists(Join(outside, "keep.txt")));
  EXPECT_TRUE(Exists(Join(outside, "keepdir")));
  EXPECT_EQ(ReadBytes(Join(outside, "keep.txt")), "keep");
  EXPECT_EQ(gone, !Exists(root));
  EXPECT_FALSE(Exists(Join(root, "top.txt")));
  EXPECT_FALSE(Exists(Join(root, "sub\\x.bin")));
  EXPECT_FALSE(Exists(Join(root, "sub\\deep")));
  EXPECT_FALSE(Exists(Join(root, "hidden")));
  // A junction is removed with the folder; Wine cannot remove a host link.
  if (kind == LinkKind::Junction) {
    EXPECT_TRUE(gone);
  }

  // A link handed over itself is removed as a link; its target keeps its files.
  const std::string direct = Join(tmp.Path(), "direct");
  ASSERT_EQ(MakeFolderLink(direct, outside), kind);
  EXPECT_EQ(DeleteTree(direct, true), !Exists(direct));
  EXPECT_TRUE(Exists(Join(outside, "keep.txt")));
  if (kind == LinkKind::Junction) {
    EXPECT_FALSE(Exists(direct));
  }
}

// ---- searches ---------------------------------------------------------------------

TEST(FilesWin32Search, BelowAFolder) {
  class TempDir tmp;
  const std::string t = tmp.Path();
  const std::string b = MakeDir(Join(MakeDir(Join(t, "a")), "b"));
  WriteBytes(Join(b, "needle.txt"), "n");
  WriteBytes(Join(t, "dup.txt"), "1");
  WriteBytes(Join(MakeDir(Join(t, "x")), "dup.txt"), "2");
  const std::string hidden = MakeDir(Join(t, "h"));
  WriteBytes(Join(hidden, "only.txt"), "o");
  SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);

  EXPECT_EQ(FindFileUnder(t, "needle.txt"), Join(b, "needle.txt"));
  EXPECT_EQ(FindFileUnder(t + "\\", "NEEDLE.TXT"), Join(b, "NEEDLE.TXT"));
  EXPECT_EQ(FindFileUnder(t, "dup.txt"), Join(t, "dup.txt"));  // the folder itself first
  EXPECT_EQ(FindFileUnder(t, "only.txt"), "");                 // hidden folders are skipped
  EXPECT_EQ(FindFileUnder(hidden, "only.txt"), Join(hidden, "only.txt"));
  EXPECT_EQ(FindFileUnder(t, "b"), "");  // a folder is no file
  EXPECT_EQ(FindFolderUnder(t, "b"), b);
  EXPECT_EQ(FindFolderUnder(t, "a\\b"), b);
  EXPECT_EQ(FindFolderUnder(t, "\\a\\b\\"), b);
  EXPECT_EQ(FindFolderUnder(t, "needle.txt"), "");
  EXPECT_EQ(FindFolderUnder(t, "..\\a"), "");
  EXPECT_EQ(FindFileUnder(t, "*.txt"), "");
  EXPECT_EQ(FindFileUnder(Join(t, "missing"), "needle.txt"), "");

  const std::string outside = MakeDir(Join(t, "outside"));
  SetFileAttributesA(outside.c_str(), FILE_ATTRIBUTE_HIDDEN);
  WriteBytes(Join(outside, "linked.txt"), "l");
  const std::string link = Join(t, "link");
  LinkDropper drop{{link}};
  if (MakeFolderLink(link, outside) != LinkKind::None) {
    EXPECT_EQ(FindFileUnder(t, "linked.txt"), "");  // links are not followed
  }
}

TEST(FilesWin32Search, OnDrives) {
  // Under Wine, drive Z: is the host's whole file system: a search that misses on C:
  // would crawl all of it.
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (ntdll && GetProcAddress(ntdll, "wine_get_version")) GTEST_SKIP() << "drive-wide search under Wine";
  class TempDir tmp;
  char unique[64];
  wsprintfA(unique, "stubfind_%lu_%lu", GetCurrentProcessId(), GetTickCount());
  const std::string folder = MakeDir(Join(tmp.Path(), std::string(unique) + "_dir"));
  WriteBytes(Join(folder, std::string(unique) + ".txt"), "u");
  const std::string root = std::string(1, tmp.Path()[0]) + ":\\";
  const int type = int(GetDriveTypeA(root.c_str()));

  EXPECT_TRUE(SameText(FindFileOnDrives(std::string(unique) + ".txt", type),
                       Join(folder, std::string(unique) + ".txt")));
  EXPECT_TRUE(SameText(FindFolderOnDrives(std::string(unique) + "_dir", type), folder));
  EXPECT_EQ(FindFileOnDrives(std::string(unique) + ".txt", -1), "");
  EXPECT_EQ(FindFileOnDrives(std::string(unique) + ".txt", DRIVE_NO_ROOT_DIR), "");
  // A full path is checked where it is.
  EXPECT_EQ(FindFolderOnDrives(folder + "\\", type), folder);
  EXPECT_EQ(FindFolderOnDrives(Join(folder, "nope"), type), "");
  EXPECT_EQ(FindFolderOnDrives(folder, DRIVE_CDROM == type ? DRIVE_FIXED : DRIVE_CDROM), "");
  EXPECT_EQ(FindFileOnDrives("", type), "");
}

TEST(FilesWin32Eject, OnlyCdDrives) {
  EXPECT_FALSE(EjectCD(""));
  EXPECT_FALSE(EjectCD("1:\\"));
  EXPECT_FALSE(EjectCD("\\\\server\\share"));
  class TempDir tmp;
  // The temp folder's drive is no CD drive.
  EXPECT_FALSE(EjectCD(tmp.Path()));
  EXPECT_FALSE(EjectCD(std::string(1, char(tmp.Path()[0] | 0x20))));
}

// ---- self-deletion ------------------------------------------------------------------

struct Child {
  std::string folder;  // the program's folder
  std::string exe;     // the copy of this program that deletes itself
  std::string temp;    // its temp folder, where the batch goes
};

// The folder name needs a short name to survive the OEM code page, and holds a "%"
// that cmd would expand.
Child PrepareChild(const std::string& base, const std::string& folderName) {
  Child c;
  c.folder = MakeDir(Join(base, folderName));
  c.exe = Join(c.folder, "child \xe9.exe");
  c.temp = MakeDir(Join(base, "temp " + folderName));
  EXPECT_TRUE(CopyFileA(ModulePath().c_str(), c.exe.c_str(), FALSE));
  return c;
}

// Starts the child with TMP and TEMP pointing at its own temp folder; its exit code.
DWORD RunChild(const Child& c, bool removeFolder, int tries) {
  char oldTmp[4096], oldTemp[4096];
  DWORD hadTmp = GetEnvironmentVariableA("TMP", oldTmp, sizeof oldTmp);
  DWORD hadTemp = GetEnvironmentVariableA("TEMP", oldTemp, sizeof oldTemp);
  SetEnvironmentVariableA("TMP", c.temp.c_str());
  SetEnvironmentVariableA("TEMP", c.temp.c_str());
  std::string line = "\"" + c.exe + "\" " + kChildSwitch + (removeFolder ? "1" : "0") + "," +
                     IntToStr(tries);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  BOOL ok = CreateProcessA(c.exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                           c.temp.c_str(), &si, &pi);
  SetEnvironmentVariableA("TMP", hadTmp && hadTmp < sizeof oldTmp ? oldTmp : nullptr);
  SetEnvironmentVariableA("TEMP", hadTemp && hadTemp < sizeof oldTemp ? oldTemp : nullptr);
  if (!ok) return DWORD(-1);
  WaitForSingleObject(pi.hProcess, 30000);
  DWORD code = DWORD(-2);
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

bool AnyBatchIn(const std::string& folder) {
  WIN32_FIND_DATAA d;
  HANDLE h = FindFirstFileA(Join(folder, "_DEL_ME_*.BAT").c_str(), &d);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  do found = found || !SameText(d.cFileName, "_DEL_ME_.BAT");
  while (FindNextFileA(h, &d));
  FindClose(h);
  return found;
}

TEST(FilesWin32SelfDelete, RemovesProgramAndFolderAfterItEnded) {
  class TempDir tmp;
  Child c = PrepareChild(tmp.Path(), "App \xe9 100%");
  ASSERT_TRUE(Exists(c.exe));
  SetFileAttributesA(c.exe.c_str(), FILE_ATTRIBUTE_READONLY);
  // Another program's batch under the plain name is left alone.
  const std::string foreign = Join(c.temp, "_DEL_ME_.BAT");
  WriteBytes(foreign, "REM another program's batch\r\n");

  ASSERT_EQ(RunChild(c, true, 30), 0u);
  EXPECT_TRUE(WaitFor([&] { return !Exists(c.folder); }, 30000));
  EXPECT_FALSE(Exists(c.exe));
  EXPECT_TRUE(WaitFor([&] { return !AnyBatchIn(c.temp); }, 10000));  // it removed itself
  EXPECT_EQ(ReadBytes(foreign), "REM another program's batch\r\n");
}

TEST(FilesWin32SelfDelete, KeepsTheFolderWhenNotAsked) {
  class TempDir tmp;
  Child c = PrepareChild(tmp.Path(), "Agent");
  WriteBytes(Join(c.folder, "settings.ini"), "[x]\r\n");
  ASSERT_EQ(RunChild(c, false, 30), 0u);
  EXPECT_TRUE(WaitFor([&] { return !Exists(c.exe); }, 30000));
  EXPECT_TRUE(WaitFor([&] { return !Exists(Join(c.temp, "_DEL_ME_.BAT")); }, 10000));
  EXPECT_TRUE(Exists(Join(c.folder, "settings.ini")));
}

TEST(FilesWin32SelfDelete, GivesUpOnALockedFileAfterItsTries) {
  class TempDir tmp;
  Child c = PrepareChild(tmp.Path(), "Locked");
  // Held open without delete sharing for as long as the batch runs.
  HANDLE lock = CreateFileA(c.exe.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  const std::string batch = Join(c.temp, "_DEL_ME_.BAT");
  ASSERT_EQ(RunChild(c, true, 3), 0u);
  const DWORD start = GetTickCount();
  EXPECT_TRUE(Exists(batch));
  // Three tries about a second apart, then the batch deletes itself.
  EXPECT_TRUE(WaitFor([&] { return !Exists(batch); }, 30000));
  const DWORD took = GetTickCount() - start;
  EXPECT_GE(took, 1000u);
  EXPECT_TRUE(Exists(c.exe));
  EXPECT_TRUE(Exists(c.folder));
  CloseHandle(lock);
}

}  // namespace
