// The debug channel against the real viewer program (vdebug.exe, found through
// VDEBUG_EXE or beside this program), the debug file and the update log.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/TestFiles.h"
#include "util/DebugLog.h"

namespace {

std::string ModulePath() {
  char buf[MAX_PATH * 2];
  DWORD n = GetModuleFileNameA(nullptr, buf, DWORD(sizeof buf));
  return std::string(buf, n < sizeof buf ? n : 0);
}

std::string FolderOf(const std::string& path) {
  size_t p = path.find_last_of("\\/");
  return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string ViewerExe() {
  char buf[1024];
  DWORD n = GetEnvironmentVariableA("VDEBUG_EXE", buf, DWORD(sizeof buf));
  std::string path = (n > 0 && n < sizeof buf) ? std::string(buf, n) : FolderOf(ModulePath()) + "vdebug.exe";
  if (!path.empty() && path[0] == '/') {  // a Unix path handed in from the host side
    for (char& c : path)
      if (c == '/') c = '\\';
    path = "Z:" + path;
  }
  return path;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Starts a process and ends it at scope exit if it still runs.
class Child {
 public:
  // quiet: the child's standard handles go to NUL.
  bool Start(const std::string& commandLine, bool quiet = false) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    HANDLE nul = INVALID_HANDLE_VALUE;
    if (quiet) {
      nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                        OPEN_EXISTING, 0, nullptr);
      if (nul == INVALID_HANDLE_VALUE) return false;
      si.dwFlags = STARTF_USESTDHANDLES;
      si.hStdInput = si.hStdOutput = si.hStdError = nul;
    }
    std::string cmd = commandLine;
    BOOL ok = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, quiet ? TRUE : FALSE, 0, nullptr,
                             nullptr, &si, &pi_);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!ok) return false;
    CloseHandle(pi_.hThread);
    pi_.hThread = nullptr;
    return true;
  }
  // Waits for the file while the process runs; false when it ended or time ran out.
  bool WaitForFile(const std::string& path, DWORD maxMs) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < maxMs) {
      if (FileExists(path)) return true;
      if (WaitForSingleObject(pi_.hProcess, 20) == WAIT_OBJECT_0) return FileExists(path);
    }
    return false;
  }
  bool Wait(DWORD ms) { return WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0; }
  DWORD ExitCode() {
    DWORD code = 9999;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
  }
  void Stop() {
    if (pi_.hProcess) {
      if (!Wait(0)) {
        TerminateProcess(pi_.hProcess, 1);
        Wait(5000);
      }
      CloseHandle(pi_.hProcess);
      pi_.hProcess = nullptr;
    }
  }
  ~Child() { Stop(); }

 private:
  PROCESS_INFORMATION pi_ = {};
};

class Viewer {
 public:
  explicit Viewer(const std::string& extra) {
    out_ = dir_.File("view.txt");
    std::string ready = dir_.File("ready.txt");
    std::string cmd = "\"" + ViewerExe() + "\" -q --frames --timeout 60 -o \"" + out_ +
                      "\" --ready-file \"" + ready + "\" " + extra;
    started_ = child_.Start(cmd) && child_.WaitForFile(ready, 20000);
  }
  bool Started() const { return started_; }
  std::string Output() const { return FileExists(out_) ? ReadBytes(out_) : std::string(); }
  void Stop() {
    child_.Stop();
    // The window is gone with its process; a later viewer must be the one found.
    for (int i = 0; i < 250 && FindWindowA(kDebugViewerClass, nullptr) != nullptr; ++i) Sleep(20);
  }
  ~Viewer() { Stop(); }

 private:
  TempDir dir_;
  std::string out_;
  Child child_;
  bool started_ = false;
};

std::string Frame(const std::string& text) { return "[" + std::to_string(text.size()) + "]" + text; }

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t e = text.find("\r\n", pos);
    if (e == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, e - pos));
    pos = e + 2;
  }
  return lines;
}

}  // namespace

TEST(DebugChannelWin32, WithoutAViewerWritingHasNoEffectAndNeverBlocks) {
  InitDebugChannel();
  ASSERT_EQ(FindWindowA(kDebugViewerClass, nullptr), nullptr) << "a viewer is already running";
  DeleteFileA(kDebugLogFile);
  DWORD start = GetTickCount();
  for (int i = 0; i < 100; ++i) DebugWriteLine("nobody listens " + std::to_string(i));
  EXPECT_LT(GetTickCount() - start, 1000u);
  EXPECT_FALSE(FileExists(kDebugLogFile));  // the viewer mode never touches the file
}

TEST(DebugChannelWin32, ViewerReceivesLinesInBufferSizedChunks) {
  InitDebugChannel();
  Viewer v("");
  ASSERT_TRUE(v.Started()) << ViewerExe();

  DebugWriteLine("hello");
  DebugWrite(42);
  DebugWrite(' ');
  DebugWrite(-7LL);
  DebugWrite(" ");
  DebugWriteLine(true);
  std::string longLine;
  for (int i = 0; i < 300; ++i) longLine += char('A' + i % 26);
  DebugWriteLine(longLine);
  LogException("Boom", "YieldX", "");
  LogQuery("QueryValue", "C:\\a.exe", "FileVersion", "1.0");
  DebugWrite("no line end yet");  // stays in the buffer

  std::string expected = Frame("hello\r\n") + Frame("42 -7 TRUE\r\n") +
                         Frame(longLine.substr(0, 128)) + Frame(longLine.substr(128, 128)) +
                         Frame(longLine.substr(256) + "\r\n") +
                         Frame(" --- YieldX () --- Boom\r\n") +
                         Frame("[QueryValue]  [C:\\a.exe]  [FileVersion]  [1.0]\r\n");
  // Sends are synchronous: the viewer has written everything when they return.
  EXPECT_EQ(v.Output(), expected);
  EXPECT_NE(expected.find("[46]"), std::string::npos);

  DebugWriteLine("");  // flushes the rest
  EXPECT_EQ(v.Output(), expected + Frame("no line end yet\r\n"));
}

TEST(DebugChannelWin32, SinkModesChooseViewerAndFile) {
  InitDebugChannel();
  Viewer v("");
  ASSERT_TRUE(v.Started());
  DeleteFileA(kDebugLogFile);

  DeliverDebugChunk(1, "file only\n");
  DeliverDebugChunk(2, "both\r");
  DeliverDebugChunk(0, "viewer only\n");
  DeliverDebugChunk(3, "nowhere\n");
  // The viewer gets chunks unconverted; the file gets CR LF.
  EXPECT_EQ(v.Output(), Frame("both\r") + Frame("viewer only\n"));
  ASSERT_TRUE(FileExists(kDebugLogFile));
  EXPECT_EQ(ReadBytes(kDebugLogFile), "file only\r\nboth\r\n");
  DeleteFileA(kDebugLogFile);

  // A chunk longer than an atom holds goes as several messages; an empty one as none.
  std::string big(600, 'w');
  big[255] = '1';
  big[510] = '2';
  DeliverDebugChunk(0, big);
  DeliverDebugChunk(0, "");
  EXPECT_EQ(v.Output(), Frame("both\r") + Frame("viewer only\n") + Frame(big.substr(0, 255)) +
                            Frame(big.substr(255, 255)) + Frame(big.substr(510)));
}

TEST(DebugChannelWin32, SlowViewerStillGetsEverything) {
  InitDebugChannel();
  Viewer v("--slow 300");
  ASSERT_TRUE(v.Started());
  DWORD start = GetTickCount();
  DebugWriteLine("one");
  DebugWriteLine("two");
  DebugWriteLine("three");
  DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 800u);  // the sender did wait for each answer
  EXPECT_EQ(v.Output(), Frame("one\r\n") + Frame("two\r\n") + Frame("three\r\n"));
}

TEST(DebugChannelWin32, HungViewerCostsOneTimeoutThenIsLeftAlone) {
  InitDebugChannel();
  {
    Viewer hung("--hang");
    ASSERT_TRUE(hung.Started());
    DebugWriteLine("first");
    EXPECT_EQ(hung.Output(), Frame("first\r\n"));

    DWORD start = GetTickCount();
    for (int i = 0; i < 20; ++i) DebugWriteLine("after the hang " + std::to_string(i));
    DWORD elapsed = GetTickCount() - start;
    // One send waits for the timeout; the other nineteen are not tried.
    EXPECT_GE(elapsed, 900u);
    EXPECT_LT(elapsed, 2000u);
    EXPECT_EQ(hung.Output(), Frame("first\r\n"));
    hung.Stop();
  }
  // A new viewer is a new window and is used again.
  Viewer fresh("");
  ASSERT_TRUE(fresh.Started());
  DebugWriteLine("again");
  EXPECT_EQ(fresh.Output(), Frame("again\r\n"));
}

TEST(DebugViewerTool, HelpAndExitAfter) {
  TempDir dir;
  {
    Child c;
    ASSERT_TRUE(c.Start("\"" + ViewerExe() + "\" --help", true));
    ASSERT_TRUE(c.Wait(20000));
    EXPECT_EQ(c.ExitCode(), 0u);
  }
  {
    Child c;
    ASSERT_TRUE(c.Start("\"" + ViewerExe() + "\" --slow", true));
    ASSERT_TRUE(c.Wait(20000));
    EXPECT_EQ(c.ExitCode(), 2u);
  }
  InitDebugChannel();
  std::string out = dir.File("out.txt"), ready = dir.File("ready");
  Child c;
  ASSERT_TRUE(c.Start("\"" + ViewerExe() + "\" -q --exit-after 2 --timeout 60 -o \"" + out +
                      "\" --ready-file \"" + ready + "\""));
  ASSERT_TRUE(c.WaitForFile(ready, 20000));
  DebugWriteLine("a");
  DebugWriteLine("b");
  EXPECT_TRUE(c.Wait(10000));
  EXPECT_EQ(c.ExitCode(), 0u);
  EXPECT_EQ(ReadBytes(out), "a\r\nb\r\n");  // without --frames: the plain text
}

// ---- update log --------------------------------------------------------------------------

namespace {

const int kChildLines = 300;

std::string ExpectedLogPath() {
  std::string path = ModulePath();
  std::string folder = FolderOf(path);
  std::string name = path.substr(folder.size());
  name = name.substr(0, name.rfind('.'));
  return folder + (name.rfind("X_", 0) == 0 ? "" : "X_") + name + ".log";
}

// "dd?mm?yy HH?NN?SS ttttt" + indent + message, with the locale's separators.
bool WellFormed(const std::string& line, std::string& rest) {
  if (line.size() < 23) return false;
  for (size_t i : {0u, 1u, 3u, 4u, 6u, 7u, 9u, 10u, 12u, 13u, 15u, 16u})
    if (line[i] < '0' || line[i] > '9') return false;
  if (line[8] != ' ' || line[17] != ' ') return false;
  rest = line.substr(23);
  return true;
}

}  // namespace

TEST(AgentLogWin32, WrittenOnlyWhenEnabledWithTheLineFormat) {
  std::string path = AgentLogPath();
  EXPECT_EQ(path, ExpectedLogPath());
  DeleteFileA(path.c_str());

  SetAgentLogEnabled(false);
  AgentLog("not written");
  EXPECT_FALSE(FileExists(path));

  SetAgentLogEnabled(true);
  SYSTEMTIME st;
  GetLocalTime(&st);
  AgentLog("hello");
  SetAgentLogIndent(" X ");
  AgentLog("transient");
  SetAgentLogIndent(kDefaultAgentLogIndent);
  SetAgentLogEnabled(false);

  std::string text = ReadBytes(path);
  DeleteFileA(path.c_str());
  ASSERT_EQ(text.size() >= 2 ? text.substr(text.size() - 2) : "", "\r\n");
  auto lines = SplitLines(text);
  ASSERT_EQ(lines.size(), 2u);
  char id[16];
  std::snprintf(id, sizeof id, "%5lu", static_cast<unsigned long>(GetCurrentThreadId()));
  char day[3];
  std::snprintf(day, sizeof day, "%02u", unsigned(st.wDay));
  std::string rest;
  ASSERT_TRUE(WellFormed(lines[0], rest)) << lines[0];
  EXPECT_EQ(lines[0].substr(0, 2), day);
  EXPECT_EQ(lines[0].substr(18, 5), id);
  EXPECT_EQ(rest, "   hello");
  ASSERT_TRUE(WellFormed(lines[1], rest)) << lines[1];
  EXPECT_EQ(rest, " X transient");
}

// Run only as the second writer of the test below.
TEST(AgentLogChild, DISABLED_Writer) {
  SetAgentLogEnabled(true);
  for (int i = 0; i < kChildLines; ++i) AgentLog("child " + std::to_string(i));
}

TEST(AgentLogWin32, TwoProcessesAppendWithoutLosingLines) {
  std::string path = AgentLogPath();
  DeleteFileA(path.c_str());
  SetAgentLogEnabled(true);

  Child child;
  ASSERT_TRUE(child.Start("\"" + ModulePath() +
                          "\" --gtest_also_run_disabled_tests --gtest_filter=AgentLogChild.DISABLED_Writer",
                          true));
  // Keep writing for as long as the other writer runs, so the two overlap.
  int mine = 0;
  while (!child.Wait(0) && mine < 20000) AgentLog("parent " + std::to_string(mine++));
  ASSERT_TRUE(child.Wait(30000));
  EXPECT_EQ(child.ExitCode(), 0u);
  SetAgentLogEnabled(false);

  std::string text = ReadBytes(path);
  DeleteFileA(path.c_str());
  auto lines = SplitLines(text);
  ASSERT_EQ(lines.size(), size_t(mine + kChildLines));
  std::vector<int> parentSeen(mine, 0), childSeen(kChildLines, 0);
  size_t firstChild = lines.size(), lastChild = 0, parentBetween = 0;
  for (size_t i = 0; i < lines.size(); ++i)
    if (lines[i].find("   child ") != std::string::npos) {
      if (firstChild == lines.size()) firstChild = i;
      lastChild = i;
    }
  for (size_t i = firstChild; i < lastChild; ++i)
    if (lines[i].find("   parent ") != std::string::npos) ++parentBetween;
  EXPECT_GT(parentBetween, 0u) << "the two writers did not overlap";
  for (const auto& line : lines) {
    std::string rest;
    ASSERT_TRUE(WellFormed(line, rest)) << line;
    ASSERT_EQ(rest.substr(0, 3), "   ") << line;
    rest = rest.substr(3);
    int n = -1;
    if (std::sscanf(rest.c_str(), "parent %d", &n) == 1 && n >= 0 && n < mine)
      ++parentSeen[n];
    else if (std::sscanf(rest.c_str(), "child %d", &n) == 1 && n >= 0 && n < kChildLines)
      ++childSeen[n];
    else
      ADD_FAILURE() << "unexpected line " << line;
  }
  for (int i = 0; i < mine; ++i) EXPECT_EQ(parentSeen[i], 1) << "parent " << i;
  for (int i = 0; i < kChildLines; ++i) EXPECT_EQ(childSeen[i], 1) << "child " << i;
}
