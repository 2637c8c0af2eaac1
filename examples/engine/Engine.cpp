// Example setup engine of the demo: the program a setup package names as its main
// entry. The stub unpacks the package into a temporary folder and starts this file
// from there; it copies the files beside it into the target folder, writes
// "install.log" there and, when everything is in place, deletes the run atom that
// tells the stub the installation succeeded.
//   Engine.exe [/TARGET=folder] [/S] /TH_ID=_<digits> [/OriginExe="path"] ...
// Default target: <Program Files>\Vabrix Demo. Exit code 0 = installed, 1 = failed
// (the atom then stays, so the stub counts the run as failed).
//
// A first install also records, in every original-settings file it copies
// ("*.original", the agent's settings that the package carries), where it put the
// product: [Directories] TargetDir, as "<ProgramFilesDir>\Vabrix Demo" for the default
// target, else the folder itself.
//
// An update run, started by the product's update agent:
//   Engine.exe /TH_ID=_<n> /OriginExe="...X_Agent.exe" /AutoUpdateProg
//              /OriginalInfoFile="C:\...\Agent.info"
// installs where the first install did: [Directories] TargetDir of the
// original-settings file beside the information file (its name without every
// extension, + ".original"), with <ProgramFilesDir>, <CommonFilesDir> and <WinDir>
// expanded. It leaves the original-settings files alone (they are the agent's: the
// agent records the new version there itself) and writes the new version,
// [NewSetup] VersionNew of the information file, into the installed DemoApp.ini
// ([DemoApp] Version), which the demo application shows.
#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr char kAtomPrefix[] = "AutoUpdateAtomTokenByVabrix";
constexpr char kLogName[] = "install.log";
constexpr size_t kMaxPath = MAX_PATH - 1;  // the ANSI file functions take no more

// ---- handles -------------------------------------------------------------------

class FindHandle {
public:
  explicit FindHandle(HANDLE h) : h_(h) {}
  ~FindHandle() {
    if (h_ != INVALID_HANDLE_VALUE) FindClose(h_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

private:
  HANDLE h_;
};

class FileHandle {
public:
  explicit FileHandle(HANDLE h) : h_(h) {}
  ~FileHandle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

private:
  HANDLE h_;
};

class Library {
public:
  explicit Library(HMODULE h) : h_(h) {}
  ~Library() {
    if (h_) FreeLibrary(h_);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  HMODULE get() const { return h_; }

private:
  HMODULE h_;
};

// ---- texts ---------------------------------------------------------------------

char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }

bool StartsWithCI(const std::string& text, const char* prefix) {
  size_t i = 0;
  for (; prefix[i]; ++i)
    if (i >= text.size() || Upper(text[i]) != Upper(prefix[i])) return false;
  return true;
}

bool SameCI(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

bool EndsWithCI(const std::string& text, const char* suffix) {
  size_t n = lstrlenA(suffix);
  return text.size() >= n && SameCI(text.substr(text.size() - n), suffix);
}

// The arguments after the program path: blanks separate them, double quotes group
// blanks into one and are dropped (/OriginExe="C:\a b\setup.exe" is one argument).
std::vector<std::string> Arguments(const char* commandLine) {
  std::vector<std::string> out;
  const char* p = commandLine;
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
  }
  for (;;) {
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) break;
    std::string arg;
    bool quoted = false;
    for (; *p && (quoted || (*p != ' ' && *p != '\t')); ++p) {
      if (*p == '"')
        quoted = !quoted;
      else
        arg += *p;
    }
    out.push_back(arg);
  }
  return out;
}

// Value of the first argument "NAME=value" (NAME given with its "/" and "=").
bool SwitchValue(const std::vector<std::string>& args, const char* name, std::string& value) {
  for (const std::string& a : args) {
    if (StartsWithCI(a, name)) {
      value = a.substr(lstrlenA(name));
      return true;
    }
  }
  return false;
}

bool HasSwitch(const std::vector<std::string>& args, const char* name) {
  for (const std::string& a : args)
    if (SameCI(a, name)) return true;
  return false;
}

// The run token is "_" followed by the decimal thread id of the stub; anything else
// names no atom of ours and is left alone.
bool ValidToken(const std::string& token) {
  if (token.size() < 2 || token.size() > 11 || token[0] != '_') return false;
  for (size_t i = 1; i < token.size(); ++i)
    if (token[i] < '0' || token[i] > '9') return false;
  return true;
}

std::string WithoutSlash(std::string path) {
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return path;
}

// ---- folders -------------------------------------------------------------------

std::string OwnPath() {
  std::vector<char> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buf.data(), DWORD(buf.size()));
    if (n == 0) return "";
    if (n < buf.size()) return std::string(buf.data(), n);
    if (buf.size() >= 32768) return "";
    buf.resize(buf.size() * 2);
  }
}

std::string CurrentFolder() {
  DWORD n = GetCurrentDirectoryA(0, nullptr);
  if (n == 0 || n > 32768) return "";
  std::vector<char> buf(n);
  DWORD got = GetCurrentDirectoryA(n, buf.data());
  return got && got < n ? std::string(buf.data(), got) : "";
}

// A shell folder (CSIDL), else the environment variable, else the fallback.
std::string ShellFolder(int csidl, const char* variable, const char* fallback) {
  // Loaded from the system folder by full path, never from the setup temp folder
  // where a planted DLL of the same name could lie.
  char system[MAX_PATH];
  UINT n = GetSystemDirectoryA(system, MAX_PATH);
  if (n && n < MAX_PATH - 16) {
    Library shell(LoadLibraryA((std::string(system, n) + "\\shell32.dll").c_str()));
    using GetFolderPath = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
    if (shell.get()) {
      auto get = reinterpret_cast<GetFolderPath>(
          reinterpret_cast<void*>(GetProcAddress(shell.get(), "SHGetFolderPathA")));
      char path[MAX_PATH] = {};
      if (get && get(nullptr, csidl, nullptr, 0, path) == S_OK && path[0]) return WithoutSlash(path);
    }
  }
  char env[MAX_PATH];
  DWORD len = GetEnvironmentVariableA(variable, env, MAX_PATH);
  if (len && len < MAX_PATH) return WithoutSlash(std::string(env, len));
  return fallback;
}

std::string ProgramFilesFolder() { return ShellFolder(0x26 /*CSIDL_PROGRAM_FILES*/, "ProgramFiles", "C:\\Program Files"); }
std::string CommonFilesFolder() {
  return ShellFolder(0x2b /*CSIDL_PROGRAM_FILES_COMMON*/, "CommonProgramFiles", "C:\\Program Files\\Common Files");
}
std::string WindowsFolder() {
  char buf[MAX_PATH];
  UINT n = GetWindowsDirectoryA(buf, MAX_PATH);
  return n && n < MAX_PATH ? WithoutSlash(std::string(buf, n)) : "C:\\Windows";
}

// ---- the settings files of an update run ---------------------------------------

constexpr char kDefaultTargetText[] = "<ProgramFilesDir>\\Vabrix Demo";
constexpr DWORD kIniValueMax = 1024;

std::string ReadIni(const std::string& file, const char* section, const char* key) {
  char buf[kIniValueMax];
  DWORD n = GetPrivateProfileStringA(section, key, "", buf, kIniValueMax, file.c_str());
  return std::string(buf, n < kIniValueMax ? n : 0);
}

// The original-settings file lies beside the information file: the information
// file's name without every extension, then ".original" (Product.setup.info gives
// Product.original).
std::string OriginalSettingsPath(const std::string& infoFile) {
  size_t slash = infoFile.find_last_of("\\/");
  std::string folder = slash == std::string::npos ? std::string() : infoFile.substr(0, slash + 1);
  std::string name = infoFile.substr(slash == std::string::npos ? 0 : slash + 1);
  return folder + name.substr(0, name.find('.')) + ".original";
}

void ReplaceAllCI(std::string& text, const char* token, const std::string& value) {
  const size_t n = lstrlenA(token);
  for (size_t at = 0; at + n <= text.size();) {
    if (SameCI(text.substr(at, n), token)) {
      text.replace(at, n, value);
      at += value.size();
    } else {
      ++at;
    }
  }
}

bool IsAbsolute(const std::string& path) {
  return (path.size() >= 3 && path[1] == ':' && path[2] == '\\') || path.rfind("\\\\", 0) == 0;
}

// The few placeholders an installer of this product writes into TargetDir. A folder
// text that keeps another "<...>", or one that is not a full path, is refused:
// installing into a literal "<...>" folder, or below whatever the current folder
// happens to be, would help no one.
bool ExpandFolder(std::string text, std::string& folder) {
  ReplaceAllCI(text, "<ProgramFilesDir>", ProgramFilesFolder());
  ReplaceAllCI(text, "<CommonFilesDir>", CommonFilesFolder());
  ReplaceAllCI(text, "<WinDir>", WindowsFolder());
  if (!IsAbsolute(text) || text.find('<') != std::string::npos || text.find('>') != std::string::npos) return false;
  // A value followed by "\" gives a doubled backslash; keep only a UNC path's leading pair.
  std::string out;
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\\' && i > 1 && text[i - 1] == '\\')) out += text[i];
  folder = out;
  return true;
}

// A version number as the information file carries it: decimal digits only.
bool IsVersionNumber(const std::string& text) {
  if (text.empty() || text.size() > 18) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

bool IsFolder(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates every missing level of an absolute folder path.
bool MakeFolders(const std::string& folder) {
  if (IsFolder(folder)) return true;
  size_t start = folder.size() > 2 && folder[1] == ':' ? 3 : 0;
  if (folder.rfind("\\\\", 0) == 0) {  // \\server\share\ is the root of a UNC path
    size_t server = folder.find('\\', 2);
    start = server == std::string::npos ? folder.size() : folder.find('\\', server + 1);
    if (start == std::string::npos) start = folder.size();
  }
  for (size_t at = folder.find('\\', start); at != std::string::npos; at = folder.find('\\', at + 1))
    CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
  CreateDirectoryA(folder.c_str(), nullptr);
  return IsFolder(folder);
}

std::string FullPath(const std::string& path) {
  char buf[MAX_PATH];
  DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, buf, nullptr);
  return n && n < MAX_PATH ? std::string(buf, n) : "";
}

// ---- install -------------------------------------------------------------------

struct Install {
  std::string log;
  std::vector<std::string> copied;
  bool update = false;
  bool ok = true;

  void Line(const std::string& text) { log += text + "\r\n"; }
  void Fail(const std::string& text) {
    Line("error=" + text);
    ok = false;
  }
};

bool IsOriginalSettings(const std::string& name) { return EndsWithCI(name, ".original"); }

// An update leaves the original-settings files to the agent that owns them.
bool Skipped(const std::string& name, const std::string& self, bool update) {
  return SameCI(name, self) || StartsWithCI(name, "Y_") || EndsWithCI(name, ".tmp") || SameCI(name, kLogName) ||
         (update && IsOriginalSettings(name));
}

void CopyFiles(const std::string& source, const std::string& target, const std::string& self, Install& run) {
  WIN32_FIND_DATAA found;
  FindHandle search(FindFirstFileA((source + "\\*").c_str(), &found));
  if (!search.ok()) {
    run.Fail("cannot list " + source);
    return;
  }
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::string name = found.cFileName;
    if (Skipped(name, self, run.update)) continue;
    std::string from = source + "\\" + name, to = target + "\\" + name;
    if (from.size() > kMaxPath || to.size() > kMaxPath) {
      run.Fail("path too long: " + name);
      continue;
    }
    if (CopyFileA(from.c_str(), to.c_str(), FALSE)) {
      run.Line("copied=" + name);
      run.copied.push_back(name);
    } else
      run.Fail("cannot copy " + name + " (" + std::to_string(GetLastError()) + ")");
  } while (FindNextFileA(search.get(), &found));
  if (GetLastError() != ERROR_NO_MORE_FILES) run.Fail("listing " + source + " stopped early");
}

bool WriteLog(const std::string& path, const std::string& text) {
  FileHandle f(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!f.ok()) return false;
  DWORD written = 0;
  return WriteFile(f.get(), text.data(), DWORD(text.size()), &written, nullptr) && written == text.size();
}

// Deletes our reference to the run atom; true when it was there.
bool ReleaseRunAtom(const std::string& token) {
  if (!ValidToken(token)) return false;
  ATOM atom = GlobalFindAtomA((kAtomPrefix + token).c_str());
  if (!atom) return false;
  GlobalDeleteAtom(atom);
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const char* commandLine = GetCommandLineA();
  std::vector<std::string> args = Arguments(commandLine);
  Install run;
  run.Line(std::string("cmdline=") + commandLine);
  run.Line("cwd=" + CurrentFolder());

  std::string self = OwnPath();
  size_t slash = self.find_last_of('\\');
  if (self.empty() || slash == std::string::npos) return 1;
  std::string source = self.substr(0, slash), selfName = self.substr(slash + 1);

  run.update = HasSwitch(args, "/AutoUpdateProg");
  std::string infoFile, versionNew, target;
  SwitchValue(args, "/OriginalInfoFile=", infoFile);
  bool defaultTarget = false;
  if (run.update) {
    run.Line("update=1");
    run.Line("info=" + infoFile);
    if (infoFile.empty() || infoFile.size() > kMaxPath) {
      run.Fail("an update run needs /OriginalInfoFile=");
    } else {
      std::string original = OriginalSettingsPath(infoFile);
      std::string targetDir = ReadIni(original, "Directories", "TargetDir");
      run.Line("original=" + original);
      run.Line("targetdir=" + targetDir);
      if (!ExpandFolder(targetDir, target)) run.Fail("no usable [Directories] TargetDir in " + original);
      versionNew = ReadIni(infoFile, "NewSetup", "VersionNew");
      if (!IsVersionNumber(versionNew)) run.Fail("no usable [NewSetup] VersionNew in " + infoFile);
    }
  }
  std::string given;
  if (SwitchValue(args, "/TARGET=", given) && !given.empty()) {
    target = given;
  } else if (!run.update) {
    target = ProgramFilesFolder() + "\\Vabrix Demo";
    defaultTarget = true;
  }
  if (!target.empty()) target = WithoutSlash(FullPath(target));
  std::string token;
  SwitchValue(args, "/TH_ID=", token);
  run.Line("source=" + source);
  run.Line("target=" + target);
  run.Line(std::string("silent=") + (HasSwitch(args, "/S") ? "1" : "0"));

  if (!run.ok || target.empty()) {
    // No product folder to install into: the log goes beside the information file,
    // the agent's folder, where whoever looks after the update looks.
    size_t infoSlash = infoFile.find_last_of('\\');
    if (infoSlash != std::string::npos && infoSlash + 1 + sizeof(kLogName) <= kMaxPath)
      WriteLog(infoFile.substr(0, infoSlash + 1) + kLogName, run.log + "result=failed\r\n");
    return 1;
  }
  if (target.size() + 1 + sizeof(kLogName) > kMaxPath) {
    return 1;  // nowhere to install, nowhere to log
  }
  if (!MakeFolders(target)) return 1;
  if (SameCI(target, source)) run.Fail("the target is the source folder");
  else CopyFiles(source, target, selfName, run);

  if (run.ok && run.update) {
    // Where the vendor's installer keeps the version: the application reads it there.
    std::string ini = target + "\\DemoApp.ini";
    if (GetFileAttributesA(ini.c_str()) == INVALID_FILE_ATTRIBUTES)
      run.Line("note=no DemoApp.ini, no version written");
    else if (WritePrivateProfileStringA("DemoApp", "Version", versionNew.c_str(), ini.c_str()))
      run.Line("version=" + versionNew);
    else
      run.Fail("cannot write the version into " + ini);
  }
  if (run.ok && !run.update) {
    const std::string targetDir = defaultTarget ? std::string(kDefaultTargetText) : target;
    for (const std::string& name : run.copied) {
      if (!IsOriginalSettings(name)) continue;
      std::string file = target + "\\" + name;
      if (WritePrivateProfileStringA("Directories", "TargetDir", targetDir.c_str(), file.c_str()))
        run.Line("recorded=" + name + " TargetDir=" + targetDir);
      else
        run.Fail("cannot record the target in " + file);
    }
  }

  run.Line(run.ok ? "result=installed" : "result=failed");
  if (!WriteLog(target + "\\" + kLogName, run.log)) run.ok = false;
  if (!run.ok) return 1;
  ReleaseRunAtom(token);
  return 0;
}
