// The main window of the setup run and the transient agent: a small hidden window with
// a status line, a progress bar and an activity bar, whose one-second timer drives the
// work, and which answers close requests and the agent's private control messages.
#pragma once
#include <cstdint>
#include <string>

// ---- decisions --------------------------------------------------------------------
inline constexpr int kMainWindowWidth = 492;
inline constexpr int kMainWindowHeight = 110;
inline constexpr char kDefaultCaption[] = "Vabrix Installation Suite";

// Private messages of a running agent.
inline constexpr unsigned kWmShutDown = 0x400 + 99;
inline constexpr unsigned kWmLocalMsg = 0x400 + 100;
inline constexpr unsigned kWmAgentMsg = 0x400 + 101;
// Listener notifications.
inline constexpr int kNotifyWindow = 50;
inline constexpr int kNotifyRequestMessage = 51;
inline constexpr int kNotifyEnded = 43;

struct ChildRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const ChildRect&) const = default;
};
struct MainWindowLayout {
  ChildRect status;
  ChildRect bigBar;
  ChildRect activityBar;
};
// Hebrew and Arabic (charsets 177, 178) read right to left: the status line moves
// right and the activity bar to the left side.
MainWindowLayout MainWindowLayoutFor(int charset);
// The activity bar's next position: 1, 2, 3, 4, 5, 0, 1, ...
int NextActivityPosition(int position);
// Whether a close request destroys the window. Outside a step the first request only
// asks the work to stop and the second one destroys; while a step runs no request does,
// because the step may still use the temp folder that the tear-down removes.
bool CloseRequestDestroys(bool abortWasSet, bool stepRunning);

#ifdef _WIN32
#include <windows.h>

class TProgBar;

struct MainWindowSetup {
  std::string className;                  // the instance class name
  std::string caption = kDefaultCaption;  // the package's "s0"
  int charset = 0;
  std::string fontName = "Tahoma";
  int fontSize = 8;
  bool agent = false;
  // The first tick of timer 1 in a setup run; it runs the whole flow and posts the
  // quit message when it is done.
  void (*setupFlow)(HWND mainWindow) = nullptr;
  // Every tick in an agent.
  void (*agentTick)(HWND mainWindow) = nullptr;
  // Requests of other programs (type, value); 0 for requests it does not know.
  LRESULT (*agentRequest)(WPARAM type, LPARAM value) = nullptr;
};

namespace StubWin {
// Registers the class, creates the hidden window and runs the message loop until
// the work ends or the window is torn down.
void WinMain(const MainWindowSetup& setup);
}  // namespace StubWin

HWND MainWindow();
HWND StatusLabel();
void ShowMainWindow(bool show);
void ShowActivityBar();
// True while the timer's work runs.
bool StepRunning();

void DestroyMainWindow();
bool CloseMainWindow();
// label is the main window's status label.
void SetStatusText(HWND label, const std::string& text, const std::string& fontName, int charset, int fontSize);
// The progress callback of the main window (see ProgressCallback).
void MainWindowProgress(int mode, int reserved, int maximum, int text, int step, int position);
// count steps of the callback at once: both bars end where count single steps leave
// them, repainted once instead of count times.
void MainWindowAdvance(int count);
// The same, the last step with a text as the callback's (0: the label keeps its text):
// the advance hook of ProgramProgBar.
void MainWindowSteps(int count, int text);
// The program's one progress object for downloads, created on first use with the
// callback above and a no-sleep message pump.
TProgBar& ProgramProgBar();
void NotifyListener(WPARAM code, LPARAM value);
#endif
