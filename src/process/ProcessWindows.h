// The main window of a program's process, and asking that program to close, quit or
// end: messages to its best window, termination, bounded waits for its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Window analyser of one lookup: the top-level windows of one process in enumeration
// order, at most kCapacity of them (the rest are ignored). A window scores 4 for each
// other collected window it is the root owner of, +2 when it has a title, +1 when it is
// visible; the first window with the highest score is the main window, and a score of 0
// never is. So a visible, titled window that owns the dialogs wins over them and over
// hidden helpers, and a lone hidden untitled window is nobody's main window.
class TAnalizer {
 public:
  static constexpr size_t kCapacity = 2001;
  explicit TAnalizer(uint32_t processId) : processId_(processId) {}
  uint32_t ProcessId() const { return processId_; }
  size_t Count() const { return windows_.size(); }
  bool Full() const { return windows_.size() >= kCapacity; }
  // root: the window's topmost owner (the window itself when it has none). False, and
  // nothing kept, once the analyser is full.
  bool Add(uintptr_t window, uintptr_t root, bool titled, bool visible);
  // Scores in the order the windows were added.
  std::vector<uint16_t> Scores() const;
  // The main window, 0 when none scores above 0.
  uintptr_t MainWindow() const;

 private:
  struct Window {
    uintptr_t handle;
    uintptr_t root;
    bool titled;
    bool visible;
  };
  uint32_t processId_;
  std::vector<Window> windows_;
};

// Windows the system gives every GUI thread (the input method's "IME" and
// "MSCTFIME UI"): titled but never a program's main window, so they are not collected.
bool IsInputMethodWindowClass(const std::string& className);

// The wParam and lParam that a close or quit request carries.
constexpr uintptr_t kCloseWParam = 15;
constexpr intptr_t kCloseLParam = 255;

// Milliseconds from start to now on a 32-bit tick counter, right across its wrap.
inline uint32_t TicksSince(uint32_t start, uint32_t now) { return now - start; }

// ---- Win32 --------------------------------------------------------------
#ifdef _WIN32
#include <windows.h>

// The main window of the first (fromEnd: the last) process of the caller's session
// running the program; nullptr when there is none.
HWND FindMainWindow(const std::string& path, bool nameOnly, bool fromEnd);
// Posts msg to the program's main window; false when there is no such window.
bool PostProcessMessage(const std::string& path, bool nameOnly, UINT msg, WPARAM w, LPARAM l);
// WM_CLOSE (15, 255), then when posted and waitMs > 0 a wait for the program's end.
bool CloseProcessWindows(const std::string& path, bool nameOnly, uint32_t waitMs);
// WM_QUIT (15, 255) posted to the main window: ends a GetMessage loop of that thread.
bool QuitProcessWindows(const std::string& path, bool nameOnly);
// Terminates the first process of the caller's session running the program.
bool KillProcess(const std::string& path, bool nameOnly);
// Returns when the program is known to have ended or after ms (0: 1000), pumping this
// thread's messages; a program that cannot be told about counts as still running.
void WaitForProcessExit(const std::string& path, uint32_t ms);
// Waits, answering this thread's messages, while a top-level window of that class and
// title (empty: any) exists.
void WaitWhileWindowExists(const std::string& windowClass, const std::string& title);
#endif
