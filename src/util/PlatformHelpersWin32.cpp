#include <windows.h>

#include <shellapi.h>

#include <memory>
#include <string>

#include "util/PlatformHelpers.h"
#include "util/SeparatorLists.h"

namespace {

struct KeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

constexpr DWORD kIniBuffer = 102401;
constexpr DWORD kRegistryBuffer = 10241;

UINT g_autoPlayMessage = 0;

// SetDefaultDllDirectories exists from Windows 8 (and 7 with KB2533623).
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
bool g_searchFlagWorks = false;

std::string SystemFolder() {
  char buffer[MAX_PATH];
  UINT n = GetSystemDirectoryA(buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return "C:\\Windows\\System32\\";
  std::string folder(buffer, n);
  if (folder.back() != '\\') folder += '\\';
  return folder;
}

}  // namespace

std::string ReadIniString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& defaultValue) {
  if (section.empty() || key.empty()) return defaultValue;
  // Ask with an empty default: the system would trim a default's trailing blanks.
  std::string buffer(kIniBuffer, '\0');
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(), kIniBuffer, file.c_str());
  if (n == 0) return defaultValue;
  buffer.resize(n < kIniBuffer ? n : kIniBuffer - 1);
  return buffer;
}

int64_t ReadIniInt(const std::string& file, const std::string& section, const std::string& key,
                   int64_t defaultValue) {
  return StrToInt64Def(ReadIniString(file, section, key, IntToStr(defaultValue)), defaultValue);
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
  if (file.empty() || section.empty() || key.empty()) return false;
  // A NULL value would delete the key; an empty one keeps it.
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != 0;
}

bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key, int64_t value) {
  return WriteIniString(file, section, key, IntToStr(value));
}

std::string ReadRegistryString(const std::string& location, const std::string& valueName,
                               const std::string& defaultValue, bool view64) {
  RegistryPath path = SplitRegistryPath(location);
  HKEY raw = nullptr;
  REGSAM access = KEY_READ | (view64 ? KEY_WOW64_64KEY : 0);
  if (RegOpenKeyExA(reinterpret_cast<HKEY>(uintptr_t(path.root)), path.subkey.c_str(), 0, access, &raw) !=
      ERROR_SUCCESS)
    return defaultValue;
  UniqueKey key(raw);
  std::string data(kRegistryBuffer, '\0');
  DWORD type = 0, size = kRegistryBuffer;
  if (RegQueryValueExA(key.get(), valueName.empty() ? nullptr : valueName.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS ||
      size > kRegistryBuffer)
    return defaultValue;
  return DecodeRegistryValue(type, reinterpret_cast<const uint8_t*>(data.data()), size);
}

std::string ErrorText(DWORD code) {
  char* text = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  if (n == 0 || !text) return "Error Reading \"System error " + IntToStr(code) + "\"";
  std::string result = TidyErrorText(std::string(text, n));
  LocalFree(text);
  return result;
}

std::string LastErrorText() { return ErrorText(GetLastError()); }

uint64_t MilliClock() {
  static const uint64_t frequency = [] {
    LARGE_INTEGER f{};
    return QueryPerformanceFrequency(&f) ? uint64_t(f.QuadPart) : 0;
  }();
  LARGE_INTEGER now{};
  if (frequency && QueryPerformanceCounter(&now)) return CounterToMilliseconds(uint64_t(now.QuadPart), frequency);
  // No counter: the 32-bit tick count, widened so that its wrap keeps counting.
  static DWORD last = 0;
  static uint64_t high = 0;
  DWORD tick = GetTickCount();
  if (tick < last) high += uint64_t(1) << 32;
  last = tick;
  return high + tick;
}

void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(int(msg.wParam));  // the loop that owns the thread must see it
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

void YieldX(uint32_t ms) {
  PumpMessages();
  Sleep(ms);
}

void WaitPumping(uint32_t interval, uint64_t total) {
  interval = PumpInterval(interval, total);
  uint64_t start = MilliClock();
  do {
    // Never sleep past the deadline.
    uint64_t elapsed = MilliClock() - start;
    uint64_t left = elapsed < total ? total - elapsed : 0;
    YieldX(uint32_t(left < interval ? left : interval));
  } while (MilliClock() - start < total);
}

int PointsToPixels(int points) {
  static const int perInch = [] {
    HDC screen = GetDC(nullptr);
    int v = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return v > 0 ? v : 96;
  }();
  return PointsToPixelsAt(points, perInch);
}

bool ShellOpen(const std::string& file, const std::string& parameters, int showCommand) {
  HINSTANCE r = ShellExecuteA(GetDesktopWindow(), nullptr, file.c_str(),
                              parameters.empty() ? nullptr : parameters.c_str(), nullptr, showCommand);
  return reinterpret_cast<INT_PTR>(r) > 32;
}

void RestrictDllSearch() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(
                                 reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                           : nullptr;
  g_searchFlagWorks = setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!g_searchFlagWorks) SetDllDirectoryA("");  // at least drop the current folder
}

HMODULE LoadSystemLibrary(const std::string& library) {
  if (library.find_first_of("\\/") != std::string::npos) return nullptr;  // names only
  if (g_searchFlagWorks) return LoadLibraryExA(library.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  return LoadLibraryA((SystemFolder() + library).c_str());
}

FARPROC LoadProc(const std::string& library, const char* function, HMODULE* module) {
  HMODULE m = LoadSystemLibrary(library);
  if (module) *module = m;
  return m ? GetProcAddress(m, function) : nullptr;
}

void PreloadLibraries() {
  UINT old = SetErrorMode(SEM_NOOPENFILEERRORBOX);
  for (const char* name : {"shell32.dll", "USP10.dll", "MSLS31.dll", "RICHED32.DLL"}) LoadSystemLibrary(name);
  SetErrorMode(old);
}

std::string ClassNameOf(HWND window) {
  if (!window) return "";
  std::string name(16385, '\0');
  int n = GetClassNameA(window, name.data(), int(name.size()));
  name.resize(n > 0 ? size_t(n) : 0);
  return name;
}

std::string WindowTextOf(HWND window) {
  if (!window) return "";
  std::string text(102401, '\0');
  int n = GetWindowTextA(window, text.data(), int(text.size()));
  text.resize(n > 0 ? size_t(n) : 0);
  return text;
}

POINT CenterInWorkArea(int width, int height) {
  RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  return POINT{area.left + (area.right - area.left - width) / 2, area.top + (area.bottom - area.top - height) / 2};
}

HWND RootOwner(HWND window) {
  // Bounded: an owner chain can never be longer than the windows that exist.
  for (int i = 0; window && i < 10000; ++i) {
    HWND owner = GetWindow(window, GW_OWNER);
    if (!owner) break;
    window = owner;
  }
  return window;
}

void EnableAutoPlayCancel(bool on) { g_autoPlayMessage = on ? RegisterWindowMessageA("QueryCancelAutoPlay") : 0; }

UINT AutoPlayMessage() { return g_autoPlayMessage; }
