// Stands in for the browser in the window tests: registered as the handler of http
// and https addresses, it appends the command line it was started with to a file, so
// a test sees which address the shell was asked to open without starting a browser.
//   url_recorder --register RECORD_FILE   the handler of http/https for this user
//   url_recorder --unregister             the handler as it was before
//   url_recorder RECORD_FILE ADDRESS      (as the shell starts it) appends one line
//   url_recorder                          appends to %URL_RECORDER_FILE%: started as a
//                                         plain program, it shows that it was started
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* kSchemes[] = {"http", "https"};
constexpr char kSaved[] = "UrlRecorderSaved";  // the command that was there before
constexpr char kMade[] = "UrlRecorderMade";    // there was none

// Windows shows this user's classes through HKEY_CLASSES_ROOT; Wine's shell reads
// the machine's classes only, so there the handler goes into HKEY_CLASSES_ROOT too.
struct Root {
  HKEY key;
  const char* prefix;
};
const Root kUser{HKEY_CURRENT_USER, "Software\\Classes\\"};
const Root kClasses{HKEY_CLASSES_ROOT, ""};

std::string KeyOf(const Root& root, const char* scheme, const char* below = "") {
  return std::string(root.prefix) + scheme + below;
}

bool ReadString(HKEY key, const char* name, std::string& out) {
  char buf[4096];
  DWORD size = sizeof buf - 1, type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return false;
  buf[size < sizeof buf ? size : sizeof buf - 1] = '\0';
  out = buf;
  return true;
}

bool WriteString(HKEY key, const char* name, const std::string& value) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        DWORD(value.size() + 1)) == ERROR_SUCCESS;
}

std::string CommandOf(const Root& root, const char* scheme) {
  HKEY key = nullptr;
  std::string value;
  if (RegOpenKeyExA(root.key, KeyOf(root, scheme, "\\shell\\open\\command").c_str(), 0, KEY_READ, &key) ==
      ERROR_SUCCESS) {
    ReadString(key, nullptr, value);
    RegCloseKey(key);
  }
  return value;
}

bool RegisterIn(const Root& root, const char* scheme, const std::string& command) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root.key, KeyOf(root, scheme).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  std::string protocol;
  if (!ReadString(key, "URL Protocol", protocol)) WriteString(key, "URL Protocol", "");
  RegCloseKey(key);
  if (RegCreateKeyExA(root.key, KeyOf(root, scheme, "\\shell\\open\\command").c_str(), 0, nullptr, 0,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return false;
  std::string before, saved;
  if (!ReadString(key, kSaved, saved) && !ReadString(key, kMade, saved)) {
    if (ReadString(key, nullptr, before))
      WriteString(key, kSaved, before);
    else
      WriteString(key, kMade, "1");
  }
  bool ok = WriteString(key, nullptr, command);
  RegCloseKey(key);
  return ok;
}

void UnregisterIn(const Root& root, const char* scheme) {
  HKEY key = nullptr;
  std::string saved;
  bool restored = false;
  if (RegOpenKeyExA(root.key, KeyOf(root, scheme, "\\shell\\open\\command").c_str(), 0, KEY_ALL_ACCESS,
                    &key) == ERROR_SUCCESS) {
    if (ReadString(key, kSaved, saved)) {
      restored = WriteString(key, nullptr, saved);
      RegDeleteValueA(key, kSaved);
    }
    RegCloseKey(key);
  }
  if (restored) return;
  // Deepest first; a key that holds anything else stays.
  for (const char* below : {"\\shell\\open\\command", "\\shell\\open", "\\shell", ""})
    RegDeleteKeyA(root.key, KeyOf(root, scheme, below).c_str());
}

int Register(const std::string& recordFile) {
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 1;
  std::string command = std::string("\"") + self + "\" \"" + recordFile + "\" \"%1\"";
  for (const char* scheme : kSchemes) {
    if (!RegisterIn(kUser, scheme, command)) return 1;
    if (CommandOf(kClasses, scheme) != command && !RegisterIn(kClasses, scheme, command)) return 1;
  }
  return 0;
}

int Unregister() {
  for (const char* scheme : kSchemes) {
    UnregisterIn(kUser, scheme);
    // Only where the registration put the handler itself (it saved what was there).
    HKEY key = nullptr;
    std::string saved;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, KeyOf(kClasses, scheme, "\\shell\\open\\command").c_str(), 0,
                      KEY_READ, &key) == ERROR_SUCCESS) {
      bool ours = ReadString(key, kSaved, saved) || ReadString(key, kMade, saved);
      RegCloseKey(key);
      if (ours) UnregisterIn(kClasses, scheme);
    }
  }
  return 0;
}

int Record(const std::string& recordFile) {
  HANDLE file = CreateFileA(recordFile.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  std::string line = std::string(GetCommandLineA()) + "\r\n";
  DWORD written = 0;
  BOOL ok = WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == line.size() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--register") == 0) return Register(argv[2]);
  if (argc == 2 && std::strcmp(argv[1], "--unregister") == 0) return Unregister();
  if (argc >= 2 && argv[1][0] != '-') return Record(argv[1]);
  const char* file = std::getenv("URL_RECORDER_FILE");
  if (argc == 1 && file && *file) return Record(file);
  return 2;
}
