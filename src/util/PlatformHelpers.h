// Settings and platform helpers: INI and registry reads with defaults, the last
// error's text, the millisecond clock, pumped waits and small window helpers.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// ---- Portable decisions -------------------------------------------------

// Predefined registry roots by their numeric handle values.
enum RegistryRoot : uint32_t {
  kHkeyClassesRoot = 0x80000000u,
  kHkeyCurrentUser = 0x80000001u,
  kHkeyLocalMachine = 0x80000002u,
  kHkeyUsers = 0x80000003u,
  kHkeyCurrentConfig = 0x80000005u,
  kHkeyDynData = 0x80000006u,
};

// Long or short root name (any case); anything else is HKEY_CURRENT_USER.
uint32_t ParseRootKey(const std::string& name);

struct RegistryPath {
  uint32_t root = kHkeyCurrentUser;
  std::string subkey;
};
// "HKLM\SOFTWARE\X" -> HKEY_LOCAL_MACHINE + "SOFTWARE\X"; text not starting with "HK"
// is a subkey of HKEY_CURRENT_USER as a whole.
RegistryPath SplitRegistryPath(const std::string& location);

// Registry value types as the platform numbers them.
enum RegistryType : uint32_t {
  kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4, kRegMultiSz = 7, kRegQword = 11,
};
// The text of a value from exactly the bytes the platform returned: a DWORD or QWORD
// as unsigned decimal, a multi-string with "<0>" between its strings, anything else
// up to its first NUL.
std::string DecodeRegistryValue(uint32_t type, const uint8_t* data, size_t size);

// System message text without its trailing blanks, line breaks and full stop.
std::string TidyErrorText(const std::string& text);

// The pump interval of a wait: total / 10 clamped to 1..25 ms unless given.
uint32_t PumpInterval(uint32_t interval, uint64_t total);

// Milliseconds of a counter running at frequency ticks per second, exact for any
// frequency (a 10 MHz counter must not round its factor to 0).
uint64_t CounterToMilliseconds(uint64_t counter, uint64_t frequency);

// points * pixelsPerInch / 72, rounded.
int PointsToPixelsAt(int points, int pixelsPerInch);

// A number from low to high inclusive (low when high < low).
int64_t RandomBetween(int64_t low, int64_t high);
std::string RandomText(int64_t low, int64_t high);

// The process-wide abort request: set by a close request of the main window and on
// tear-down, read by long operations (downloads, extraction) between their steps.
void SetAbortFlag(bool on);
bool AbortFlag();

// The progress display: mode 0 sets the range 0..maximum, the step and the position
// and resets the activity bar; mode 1 advances both bars; reserved and text are unused.
using ProgressCallback = void (*)(int mode, int reserved, int maximum, int text, int step, int position);

// ---- Win32 --------------------------------------------------------------
#ifdef _WIN32
#include <windows.h>

std::string ReadIniString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& defaultValue);
int64_t ReadIniInt(const std::string& file, const std::string& section, const std::string& key,
                   int64_t defaultValue);
bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);
bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key, int64_t value);
// The value's text, or the default when the key or value cannot be read.
std::string ReadRegistryString(const std::string& location, const std::string& valueName,
                               const std::string& defaultValue, bool view64 = false);
// The system's text for the calling thread's last error code (taken first).
std::string LastErrorText();
std::string ErrorText(DWORD code);

uint64_t MilliClock();
// Dispatches the messages waiting for this thread, without sleeping. A quit message
// is put back for the loop that owns the thread.
void PumpMessages();
// Drains the thread's message queue, then sleeps ms.
void YieldX(uint32_t ms);
// Returns after at least total ms, pumping messages every interval ms (0: default).
void WaitPumping(uint32_t interval, uint64_t total);

int PointsToPixels(int points);
bool ShellOpen(const std::string& file, const std::string& parameters, int showCommand);
// Loads a system library (from the system folder only) and finds a function in it;
// the library stays loaded. nullptr when either fails.
FARPROC LoadProc(const std::string& library, const char* function, HMODULE* module = nullptr);
// The system folder's copy of a library, never one beside the program.
HMODULE LoadSystemLibrary(const std::string& library);
// Restricts the process's DLL search to the system folder; call before anything else.
void RestrictDllSearch();
// Loads the libraries the dialogs rely on, without the system's error boxes.
void PreloadLibraries();

std::string ClassNameOf(HWND window);
std::string WindowTextOf(HWND window);
POINT CenterInWorkArea(int width, int height);
HWND RootOwner(HWND window);
void EnableAutoPlayCancel(bool on);
UINT AutoPlayMessage();
#endif
