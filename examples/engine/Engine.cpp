// Example setup engine: the program a setup package names as its main program. The
// stub unpacks the package into a temporary folder and starts this file from there;
// it copies the files beside it into the target folder.
//   Engine.exe [/TARGET=folder]      default: <Program Files>\DemoApp
#include <windows.h>

#include <string>

namespace {

std::string Folder(const std::string& path) { return path.substr(0, path.find_last_of('\\') + 1); }

std::string Switch(const std::string& commandLine, const std::string& name) {
  std::string upper = commandLine;
  for (char& c : upper) c = char(c >= 'a' && c <= 'z' ? c - 32 : c);
  size_t at = upper.find(name);
  if (at == std::string::npos) return "";
  std::string value = commandLine.substr(at + name.size());
  size_t end = value.find(" /");
  value = value.substr(0, end);
  if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.find('"', 1) - 1);
  return value;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 2;
  std::string source = Folder(self);
  std::string target = Switch(GetCommandLineA(), "/TARGET=");
  if (target.empty()) {
    char programFiles[MAX_PATH];
    DWORD len = GetEnvironmentVariableA("ProgramFiles", programFiles, MAX_PATH);
    target = std::string(len && len < MAX_PATH ? programFiles : "C:\\Program Files") + "\\DemoApp";
  }
  if (target.back() != '\\') target += '\\';
  CreateDirectoryA(target.c_str(), nullptr);

  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((source + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 3;
  int failures = 0;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (lstrcmpiA(found.cFileName, self + source.size()) == 0) continue;  // not the engine itself
    if (!CopyFileA((source + found.cFileName).c_str(), (target + found.cFileName).c_str(), FALSE)) ++failures;
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return failures ? 4 : 0;
}
