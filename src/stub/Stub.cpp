// Entry of the setup stub: opens the package appended to its own file.
#include <windows.h>

#include <string>

#include "package/PackX.h"

namespace {

std::string OwnPath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, path.data(), DWORD(path.size()));
    if (n == 0) return "";
    if (n < path.size()) return path.substr(0, n);
    path.resize(path.size() * 2);
  }
}

}  // namespace

// The library's verbose handler drags the C++ demangler into the image; a stub that
// reaches std::terminate has nothing useful to print anyway.
namespace __gnu_cxx {
void __verbose_terminate_handler() { ExitProcess(3); }
}  // namespace __gnu_cxx

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // The reader lives for the whole run; the run modes build on what it answers.
  TGFileInfo ownPackage(OwnPath());
  (void)ownPackage;
  return 0;
}
