// Starts a program, waits for it and prints its full exit code: the status that
// wine hands back to Linux keeps only the low 8 bits.
//   exit_launcher [--show N] [--cwd DIR] PROGRAM [ARGS...]
//   exit_launcher [--show N] [--cwd DIR] [--app PATH] --cmdline "COMMAND LINE"
// --app names the program file apart from the command line, which then reaches the
// program exactly as given (without it, Wine re-quotes a program path that has blanks).
// Prints "pid=<id>" and "exit=<GetExitCodeProcess, unsigned decimal>", then
// "elapsed_ms=" and "peak_private_bytes=" of the program.
// Exit code: 0 when the program ran, 2 when it could not be started (or bad usage).
#include <windows.h>

#include <psapi.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

class Handle {
public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }

private:
  HANDLE h_;
};

void Write(DWORD which, const std::string& text) {
  HANDLE h = GetStdHandle(which);
  DWORD written = 0;
  if (h && h != INVALID_HANDLE_VALUE) WriteFile(h, text.data(), DWORD(text.size()), &written, nullptr);
}

// Quotes one argument so that the usual argument parser gives it back unchanged:
// backslashes double only in front of a quote (or the closing quote).
std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  out += '"';
  return out;
}

int Usage() {
  Write(STD_ERROR_HANDLE,
        "usage: exit_launcher [--show N] [--cwd DIR] PROGRAM [ARGS...]\r\n"
        "       exit_launcher [--show N] [--cwd DIR] [--app PATH] --cmdline \"COMMAND LINE\"\r\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int i = 1;
  int show = -1;
  const char* cwd = nullptr;
  const char* app = nullptr;
  std::string commandLine;
  while (i < argc) {
    std::string a = argv[i];
    if (a == "--show" && i + 1 < argc) {
      char* end = nullptr;
      long v = std::strtol(argv[i + 1], &end, 10);
      if (*argv[i + 1] == '\0' || *end || v < 0 || v > 0xFFFF) return Usage();
      show = int(v);
      i += 2;
    } else if (a == "--app" && i + 1 < argc) {
      app = argv[i + 1];
      i += 2;
    } else if (a == "--cwd" && i + 1 < argc) {
      cwd = argv[i + 1];
      i += 2;
    } else {
      break;
    }
  }
  if (i >= argc) return Usage();
  if (std::string(argv[i]) == "--cmdline") {
    if (i + 2 != argc) return Usage();
    commandLine = argv[i + 1];
  } else {
    if (app) return Usage();
    for (int k = i; k < argc; ++k) {
      if (k > i) commandLine += ' ';
      commandLine += Quoted(argv[k]);
    }
  }
  if (commandLine.empty()) return Usage();

  std::vector<char> buf(commandLine.begin(), commandLine.end());
  buf.push_back('\0');
  STARTUPINFOA si{};
  si.cb = sizeof si;
  if (show >= 0) {
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = WORD(show);
  }
  PROCESS_INFORMATION pi{};
  LARGE_INTEGER frequency{}, begin{}, end{};
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&begin);
  if (!CreateProcessA(app, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd, &si, &pi)) {
    Write(STD_ERROR_HANDLE, "exit_launcher: cannot start " + commandLine + " (error " +
                                std::to_string(GetLastError()) + ")\r\n");
    return 2;
  }
  Handle process(pi.hProcess), thread(pi.hThread);
  Write(STD_OUTPUT_HANDLE, "pid=" + std::to_string(pi.dwProcessId) + "\r\n");
  WaitForSingleObject(process.get(), INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(process.get(), &code)) {
    Write(STD_ERROR_HANDLE, "exit_launcher: no exit code\r\n");
    return 2;
  }
  QueryPerformanceCounter(&end);
  Write(STD_OUTPUT_HANDLE, "exit=" + std::to_string(code) + "\r\n");
  // For the benchmarks: the program's wall time and its peak private memory.
  Write(STD_OUTPUT_HANDLE, "elapsed_ms=" + std::to_string((end.QuadPart - begin.QuadPart) * 1000 / frequency.QuadPart) +
                               "\r\n");
  using Query = BOOL(WINAPI*)(HANDLE, PROCESS_MEMORY_COUNTERS*, DWORD);
  auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "K32GetProcessMemoryInfo")));
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (query && query(process.get(), &counters, sizeof counters))
    Write(STD_OUTPUT_HANDLE, "peak_private_bytes=" + std::to_string(counters.PeakPagefileUsage) + "\r\n");
  return 0;
}
