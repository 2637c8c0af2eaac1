// Runs the stub's HTTP functions for the system tests and prints KEY=VALUE lines.
//   http_driver connected
//   http_driver size URL
//   http_driver get URL LOCAL [options]     LOCAL "-" downloads into memory
//     --user U --pass P     credentials
//     --no-progress         no progress object
//     --cancel-at N         sets the progress object's cancel flag in the first shown
//                           step at or after chunk N (CANCEL_STEP= tells which)
//     --close-at N          posts WM_CLOSE to the driver's window in the first shown
//                           step at or after chunk N; the window sets the abort flag
//                           (as the main window does)
//   The progress object is the program's: throttled by its clock, held steps come
//   through the advance hook. STEPS= counts every step (one per chunk), SHOWN= the
//   steps that reached the callback with their text.
//     --memory-out FILE     writes the memory data to FILE
//     --html                also prints HTML=, the error-page test of the result
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "net/HttpDownload.h"
#include "net/ProgressEvents.h"
#include "util/PlatformHelpers.h"
#include "util/SeparatorLists.h"

namespace {

struct Events {
  int starts = 0, steps = 0, shown = 0, finishes = 0, cancelStep = 0;
  int startMax = 0, startPos = 0;
  int rateTexts = 0;
  bool rateBeforeFifth = false;
  std::string firstText, lastText;
  int cancelAt = 0, closeAt = 0;
};
Events g_events;
TProgBar* g_bar = nullptr;
HWND g_window = nullptr;

void OnAdvance(int count, int text);

void OnProgress(int mode, int, int maximum, int text, int step, int position) {
  if (mode == 0 && step == 1 && maximum == 0 && position == 0) {
    ++g_events.finishes;
  } else if (mode == 0) {
    ++g_events.starts;
    g_events.startMax = maximum;
    g_events.startPos = position;
  } else if (mode == 1) {
    OnAdvance(1, text);
  }
}

// Steps held back by the bar arrive with the shown one in a single call.
void OnAdvance(int count, int text) {
  g_events.steps += count;
  if (!text) return;  // a held step without its own text
  ++g_events.shown;
  // The text arrives as a pointer in the 32-bit program; it must be the step text.
  const char* passed = reinterpret_cast<const char*>(intptr_t(text));
  std::string t = passed;
  if (g_bar && t != g_bar->StepText()) t = "<mismatch>";
  if (g_events.shown == 1) g_events.firstText = t;
  g_events.lastText = t;
  if (t.find(" KB/Sec") != std::string::npos) {
    ++g_events.rateTexts;
    if (g_events.steps < 5) g_events.rateBeforeFifth = true;
  }
  if (g_bar && g_events.cancelAt && !g_events.cancelStep && g_events.steps >= g_events.cancelAt) {
    g_bar->SetCancel(true);
    g_events.cancelStep = g_events.steps;
  }
  if (g_window && g_events.closeAt && g_events.steps >= g_events.closeAt) {
    PostMessageA(g_window, WM_CLOSE, 0, 0);
    g_events.closeAt = 0;
  }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CLOSE) {
    HTTP_SetAbort(true);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "HttpDriverWindow";
  RegisterClassA(&wc);
  return CreateWindowA(wc.lpszClassName, "http_driver", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                       wc.hInstance, nullptr);
}

int64_t SizeOf(const std::string& file) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (int64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void Put(const char* key, const std::string& value) { std::printf("%s=%s\n", key, value.c_str()); }
void Put(const char* key, int64_t value) { std::printf("%s=%lld\n", key, static_cast<long long>(value)); }

bool WriteAll(const std::string& file, const std::string& data) {
  HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(h, data.data(), DWORD(data.size()), &written, nullptr) && written == data.size();
  CloseHandle(h);
  return ok;
}

int Get(int argc, char** argv) {
  const std::string url = argv[2];
  std::string local = argv[3];
  if (local == "-") local.clear();
  std::string user, password, memoryOut;
  bool withProgress = true, html = false;
  for (int i = 4; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--user" && more) user = argv[++i];
    else if (a == "--pass" && more) password = argv[++i];
    else if (a == "--no-progress") withProgress = false;
    else if (a == "--cancel-at" && more) g_events.cancelAt = int(StrToInt64Def(argv[++i], 0));
    else if (a == "--close-at" && more) g_events.closeAt = int(StrToInt64Def(argv[++i], 0));
    else if (a == "--memory-out" && more) memoryOut = argv[++i];
    else if (a == "--html") html = true;
    else {
      std::fprintf(stderr, "unknown option %s\n", a.c_str());
      return 2;
    }
  }
  g_window = MakeWindow();
  std::string memory, error;
  LARGE_INTEGER f{}, t0{}, t1{};
  QueryPerformanceFrequency(&f);
  HTTP_SetAbort(false);
  bool ok;
  {
    TProgBar bar(OnProgress, PumpPendingMessages, WaitPumpingMs, ProgressClockMs, OnAdvance);
    g_bar = &bar;
    QueryPerformanceCounter(&t0);
    ok = user.empty() ? HTTP_DownloadFile_Incremental(nullptr, url, local, memory, withProgress ? &bar : nullptr, error)
                      : HTTP_DownloadFile_Incremental(nullptr, url, local, user, password,
                                                      withProgress ? &bar : nullptr, memory, error);
    QueryPerformanceCounter(&t1);
    Put("CAPTION", bar.Caption());
    g_bar = nullptr;
  }
  const double seconds = double(t1.QuadPart - t0.QuadPart) / double(f.QuadPart);
  Put("OK", ok ? 1 : 0);
  Put("ERROR", error);
  Put("ABORTED", HTTP_Aborted() ? 1 : 0);
  if (!local.empty()) {
    Put("LOCAL_SIZE", SizeOf(local));
  } else {
    Put("MEMORY_SIZE", int64_t(memory.size()));
    if (!memoryOut.empty() && !WriteAll(memoryOut, memory)) Put("MEMORY_OUT", "failed");
  }
  if (html) Put("HTML", IsHtmlErrorPage(local, memory) ? 1 : 0);
  Put("STARTS", g_events.starts);
  Put("START_POS", g_events.startPos);
  Put("START_MAX", g_events.startMax);
  Put("STEPS", g_events.steps);
  Put("SHOWN", g_events.shown);
  Put("CANCEL_STEP", g_events.cancelStep);
  Put("FINISHES", g_events.finishes);
  Put("RATE_TEXTS", g_events.rateTexts);
  Put("RATE_BEFORE_FIFTH", g_events.rateBeforeFifth ? 1 : 0);
  Put("FIRST_TEXT", g_events.firstText);
  Put("LAST_TEXT", g_events.lastText);
  std::printf("SECONDS=%.3f\n", seconds);
  if (g_window) DestroyWindow(g_window);
  HTTP_Unload();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  RestrictDllSearch();
  if (argc >= 2 && std::strcmp(argv[1], "connected") == 0) {
    std::string error;
    Put("CONNECTED", HTTP_IsConnected(error) ? 1 : 0);
    Put("ERROR", error);
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "size") == 0) {
    Put("SIZE", HTTP_GetFileSize(argv[2]));
    return 0;
  }
  if (argc >= 4 && std::strcmp(argv[1], "get") == 0) return Get(argc, argv);
  std::fprintf(stderr, "usage: http_driver connected | size URL | get URL LOCAL [options]\n");
  return 2;
}
