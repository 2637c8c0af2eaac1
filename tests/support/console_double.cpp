// A console program for the piped execution: writes what its arguments say, in order,
// then ends with the exit code given (0 by default).
//   console_double [--out TEXT] [--err TEXT] [--oem] [--bytes N] [--priority]
//                  [--forever] [--exit N]
//   --oem       the bytes 0x81 0x84 0x94 and CR LF to stdout (u, a, o umlaut in the
//               OEM code pages 437 and 850)
//   --bytes N   N bytes "x" to stdout (more than one pipe read)
//   --priority  "PRIORITY=" and the process's priority class in hex
//   --forever   never ends
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Write(DWORD which, const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(which), text.data(), DWORD(text.size()), &written, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : "";
    if (a == "--out") {
      Write(STD_OUTPUT_HANDLE, std::string(value) + "\r\n");
      ++i;
    } else if (a == "--err") {
      Write(STD_ERROR_HANDLE, std::string(value) + "\r\n");
      ++i;
    } else if (a == "--oem") {
      Write(STD_OUTPUT_HANDLE, "\x81\x84\x94\r\n");
    } else if (a == "--bytes") {
      Write(STD_OUTPUT_HANDLE, std::string(size_t(std::atoi(value)), 'x'));
      ++i;
    } else if (a == "--priority") {
      char line[40];
      std::snprintf(line, sizeof line, "PRIORITY=%lx\r\n", GetPriorityClass(GetCurrentProcess()));
      Write(STD_OUTPUT_HANDLE, line);
    } else if (a == "--forever") {
      for (;;) Sleep(1000);
    } else if (a == "--exit") {
      return std::atoi(value);
    }
  }
  return 0;
}
