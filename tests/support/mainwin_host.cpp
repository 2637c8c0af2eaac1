// Runs the stub's main window with a test step in place of the setup flow and prints
// what the step saw: mainwin_host [--charset N] [--caption T] [--status T]
// [--steps N] [--range N] [--batch N] [--interval MS] [--linger MS] [--abort-ends]
// The step shows the window, takes the setup temp folder and advances the progress
// bar N times (in a range of 0 to --range, default N); with --abort-ends it stops at
// the first abort request, then keeps working for --linger ms (as an engine that is
// still running would). --batch advances through MainWindowAdvance, that many steps
// at a time. At the end it prints bars=BIG,ACTIVITY: the positions of both bars.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "stub/MainWindow.h"
#include "stub/TempFolders.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/PlatformHelpers.h"

namespace {

int g_steps = 20;
int g_range = -1;
int g_batch = 0;
int g_interval = 100;
int g_linger = 0;
int g_charset = 0;
bool g_abortEnds = false;
std::string g_status = "Extracting Files...";
std::string g_folder;

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void TestStep(HWND window) {
  g_folder = SetupTempFolder();
  WriteFileText(g_folder + "\\in-use.txt", "the step works here");
  RECT area{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  Say("workarea=" + std::to_string(area.left) + "," + std::to_string(area.top) + "," +
      std::to_string(area.right - area.left) + "," + std::to_string(area.bottom - area.top));
  ShowActivityBar();
  SetStatusText(StatusLabel(), g_status, "Tahoma", g_charset, 8);
  MainWindowProgress(0, 0, g_range >= 0 ? g_range : g_steps, 0, 1, 0);
  ShowMainWindow(true);
  Say("step-start folder=" + g_folder);
  int done = 0;
  for (; done < g_steps; ++done) {
    WaitPumping(0, uint64_t(g_interval));
    if (g_batch > 0) {
      int count = g_steps - done < g_batch ? g_steps - done : g_batch;
      MainWindowAdvance(count);
      done += count - 1;
      continue;
    }
    MainWindowProgress(1, 0, 0, 0, 0, 0);
    if (g_abortEnds && AbortFlag()) {
      Say("abort-seen step=" + std::to_string(done + 1));
      break;
    }
  }
  if (g_linger > 0) WaitPumping(0, uint64_t(g_linger));
  // The big bar is the wide one.
  int big = -1, activity = -1;
  for (HWND bar = FindWindowExA(window, nullptr, PROGRESS_CLASSA, nullptr); bar;
       bar = FindWindowExA(window, bar, PROGRESS_CLASSA, nullptr)) {
    RECT r{};
    GetClientRect(bar, &r);
    (r.right - r.left > 100 ? big : activity) = int(SendMessageA(bar, PBM_GETPOS, 0, 0));
  }
  Say("bars=" + std::to_string(big) + "," + std::to_string(activity));
  Say("step-end window=" + std::to_string(IsWindow(window) ? 1 : 0) +
      " folder=" + std::to_string(FileExists(g_folder + "\\in-use.txt") ? 1 : 0));
  PostQuitMessage(0);
}

}  // namespace

int main(int argc, char** argv) {
  MainWindowSetup setup;
  setup.className = "MainWinHost";
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--abort-ends") {
      g_abortEnds = true;
      continue;
    }
    const char* v = i + 1 < argc ? argv[++i] : "";
    if (a == "--charset") setup.charset = g_charset = std::atoi(v);
    else if (a == "--caption") setup.caption = v;
    else if (a == "--status") g_status = v;
    else if (a == "--steps") g_steps = std::atoi(v);
    else if (a == "--range") g_range = std::atoi(v);
    else if (a == "--batch") g_batch = std::atoi(v);
    else if (a == "--interval") g_interval = std::atoi(v);
    else if (a == "--linger") g_linger = std::atoi(v);
    else if (a == "--class") setup.className = v;
  }
  setup.setupFlow = TestStep;
  StubWin::WinMain(setup);
  Say("after folder=" + std::to_string(!g_folder.empty() && FolderExists(g_folder) ? 1 : 0));
  return 0;
}
