// Version resources, the Windows version and names against the real platform.
// The version cases run this test program again as a copy that Wine is told to
// show a chosen Windows version (per-program AppDefaults), with and without a
// manifest beside it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/TestFiles.h"
#include "util/SeparatorLists.h"
#include "util/SystemInfo.h"

namespace {

// ---- captured diagnostics ---------------------------------------------------------

struct Captured {
  std::vector<std::string> queries;     // "a|b|c|d"
  std::vector<std::string> exceptions;  // "where|detail|message"
};
Captured g_log;

void CaptureQuery(const std::string& a, const std::string& b, const std::string& c, const std::string& d) {
  g_log.queries.push_back(a + "|" + b + "|" + c + "|" + d);
}
void CaptureException(const std::string& message, const std::string& where, const std::string& detail) {
  g_log.exceptions.push_back(where + "|" + detail + "|" + message);
}

class VersionResource : public testing::Test {
 protected:
  void SetUp() override {
    g_log = Captured{};
    VersionLogHooks hooks;
    hooks.query = CaptureQuery;
    hooks.exception = CaptureException;
    SetVersionLogHooks(hooks);
  }
  void TearDown() override { SetVersionLogHooks(VersionLogHooks{}); }
};

std::string SystemFile(const char* name) {
  char dir[MAX_PATH];
  UINT n = GetSystemDirectoryA(dir, MAX_PATH);
  return std::string(dir, n) + "\\" + name;
}

std::string OwnExe() {
  char path[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, n);
}

std::string Env(const char* name) {
  char buf[1024];
  DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

bool UnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

// The version resource read straight through version.dll, for comparison.
struct DirectVersion {
  std::vector<char> data;
  explicit DirectVersion(const std::string& file) {
    DWORD h = 0;
    DWORD size = GetFileVersionInfoSizeA(file.c_str(), &h);
    if (size == 0) return;
    data.resize(size);
    if (!GetFileVersionInfoA(file.c_str(), 0, size, data.data())) data.clear();
  }
  bool Fixed(VS_FIXEDFILEINFO& out) {
    void* p = nullptr;
    UINT len = 0;
    if (data.empty() || !VerQueryValueA(data.data(), "\\", &p, &len) || len < sizeof out) return false;
    std::memcpy(&out, p, sizeof out);
    return true;
  }
  std::string Text(const char* name) {
    void* p = nullptr;
    UINT len = 0;
    if (data.empty() || !VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &p, &len) || len < 4)
      return "";
    const WORD* t = static_cast<const WORD*>(p);
    char block[128];
    std::snprintf(block, sizeof block, "\\StringFileInfo\\%04x%04x\\%s", t[0], t[1], name);
    if (!VerQueryValueA(data.data(), block, &p, &len) || len == 0) return "";
    return std::string(static_cast<const char*>(p), strnlen(static_cast<const char*>(p), len));
  }
};

std::string Dotted(const char* format, const VS_FIXEDFILEINFO& f) {
  char text[64];
  std::snprintf(text, sizeof text, format, unsigned(HIWORD(f.dwFileVersionMS)), unsigned(LOWORD(f.dwFileVersionMS)),
                unsigned(HIWORD(f.dwFileVersionLS)), unsigned(LOWORD(f.dwFileVersionLS)));
  return text;
}

}  // namespace

// ---- version resources --------------------------------------------------------------

TEST_F(VersionResource, FileVersionOfKernel32MatchesTheResource) {
  const std::string k32 = SystemFile("kernel32.dll");
  VS_FIXEDFILEINFO fixed;
  ASSERT_TRUE(DirectVersion(k32).Fixed(fixed));
  EXPECT_EQ(GetExeVersion(k32), Dotted("%u.%u.%u.%u", fixed));
  EXPECT_EQ(GetExeVersion(k32, 1, 4), Dotted("%u.%u.%u.%u", fixed));
  EXPECT_EQ(GetExeVersion(k32, 5, 4), Dotted("%05u.%05u.%05u.%05u", fixed));
  char two[32];
  std::snprintf(two, sizeof two, "%u.%u", unsigned(HIWORD(fixed.dwFileVersionMS)),
                unsigned(LOWORD(fixed.dwFileVersionMS)));
  EXPECT_EQ(GetExeVersion(k32, 1, 2), two);
  EXPECT_TRUE(g_log.exceptions.empty());
}

TEST_F(VersionResource, StringValuesOfKernel32MatchTheResource) {
  const std::string k32 = SystemFile("kernel32.dll");
  DirectVersion direct(k32);
  const std::string product = ReplaceChar(direct.Text("ProductVersion"), ',', '.');
  ASSERT_FALSE(product.empty());
  EXPECT_EQ(GetProductVersion(k32), product);
  ASSERT_EQ(g_log.queries.size(), 1u);
  EXPECT_EQ(g_log.queries[0], "QueryValue|" + k32 + "|ProductVersion|" + product);
  EXPECT_TRUE(g_log.exceptions.empty());

  const std::string company = direct.Text("CompanyName");
  ASSERT_FALSE(company.empty());
  EXPECT_EQ(GetVersionString(k32, "CompanyName"), ReplaceChar(company, ',', '.'));
  EXPECT_EQ(GetProductVersion(k32, 1, 2), NormalizeVersion(product, 1, 2));
}

TEST_F(VersionResource, MissingValueIsEmptyAndStillLogged) {
  const std::string k32 = SystemFile("kernel32.dll");
  EXPECT_EQ(GetVersionString(k32, "NoSuchValueHere", 2, 4), "");  // never "00.00.00.00"
  ASSERT_EQ(g_log.queries.size(), 1u);
  EXPECT_EQ(g_log.queries[0], "QueryValue|" + k32 + "|NoSuchValueHere|");
  EXPECT_TRUE(g_log.exceptions.empty());
}

TEST_F(VersionResource, FilesWithoutResourceGiveEmptyAndAnErrorLine) {
  // This test program carries no version resource; empty names it.
  EXPECT_EQ(GetExeVersion(""), "");
  ASSERT_EQ(g_log.exceptions.size(), 1u);
  EXPECT_TRUE(StartsWith("Utils.GetExeVersion()|" + OwnExe() + "|", g_log.exceptions[0])) << g_log.exceptions[0];
  EXPECT_GT(g_log.exceptions[0].size(), ("Utils.GetExeVersion()|" + OwnExe() + "|").size());  // a message

  EXPECT_EQ(GetProductVersion(""), "");
  ASSERT_EQ(g_log.exceptions.size(), 2u);
  EXPECT_TRUE(StartsWith("Utils.GetProductVersion()|" + OwnExe() + "|", g_log.exceptions[1]));
  ASSERT_EQ(g_log.queries.size(), 1u);
  EXPECT_EQ(g_log.queries[0], "QueryValue|" + OwnExe() + "|ProductVersion|");

  TempDir dir;
  const std::string text = dir.File("plain.txt");
  WriteBytes(text, "not a program");
  EXPECT_EQ(GetExeVersion(text, 2, 4), "");
  EXPECT_EQ(GetProductVersion(text, 2, 4), "");
  EXPECT_EQ(GetExeVersion(dir.File("missing.dll")), "");
  EXPECT_EQ(GetVersionString(dir.File("missing.dll"), "ProductVersion"), "");
  EXPECT_EQ(g_log.exceptions.size(), 5u);
}

TEST_F(VersionResource, BadFixedInfoSignatureIsRejected) {
  // kernel32.dll with every fixed-info signature overwritten.
  std::string image = ReadBytes(SystemFile("kernel32.dll"));
  ASSERT_FALSE(image.empty());
  const std::string signature("\xBD\x04\xEF\xFE", 4);
  size_t hits = 0;
  for (size_t p = image.find(signature); p != std::string::npos; p = image.find(signature, p + 4), ++hits)
    image[p] = '\x00';
  ASSERT_GT(hits, 0u);
  TempDir dir;
  const std::string copy = dir.File("badsig.dll");
  WriteBytes(copy, image);
  ASSERT_FALSE(DirectVersion(copy).data.empty());  // the resource itself still reads
  EXPECT_EQ(GetExeVersion(copy), "");
  ASSERT_EQ(g_log.exceptions.size(), 1u);
  EXPECT_NE(g_log.exceptions[0].find("signature"), std::string::npos) << g_log.exceptions[0];
  // The string part does not depend on the fixed part.
  EXPECT_EQ(GetProductVersion(copy), GetProductVersion(SystemFile("kernel32.dll")));
}

// ---- the running Windows -------------------------------------------------------------

TEST(WindowsVersion, ConsistentWithThePlatformsOwnAnswers) {
  OSVERSIONINFOEXA reported{};
  reported.dwOSVersionInfoSize = sizeof reported;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&reported)));
#pragma GCC diagnostic pop
  const WindowsVersionRecord& r = GetWindowsVersion();
  EXPECT_EQ(&r, &GetWindowsVersion());  // read once
  EXPECT_EQ(r.platformId, reported.dwPlatformId);
  EXPECT_EQ(r.servicePack, std::string(reported.szCSDVersion));
  if (reported.dwMajorVersion > 5 && reported.dwMinorVersion > 2) {
    const std::vector<int64_t> k =
        VersionNumbers(DirectVersion(SystemFile("kernel32.dll")).Text("ProductVersion"), 3);
    EXPECT_EQ(r.major, uint32_t(k[0]));
    EXPECT_EQ(r.minor, uint32_t(k[1]));
    EXPECT_EQ(r.build, uint32_t(k[2]));
  } else {
    EXPECT_EQ(r.major, reported.dwMajorVersion);
    EXPECT_EQ(r.minor, reported.dwMinorVersion);
    EXPECT_EQ(r.build, reported.dwBuildNumber);
  }
  // The true version: the record never claims a newer system than this.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto rtl = reinterpret_cast<RtlGetVersionFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
  ASSERT_NE(rtl, nullptr);
  OSVERSIONINFOW truth{};
  truth.dwOSVersionInfoSize = sizeof truth;
  ASSERT_EQ(rtl(&truth), 0);
  EXPECT_TRUE(r.major < truth.dwMajorVersion || (r.major == truth.dwMajorVersion && r.minor <= truth.dwMinorVersion))
      << r.major << "." << r.minor << " against " << truth.dwMajorVersion << "." << truth.dwMinorVersion;

  const WindowsIdentity id = IdentifyWindows();
  EXPECT_EQ(id.version, IntToStr(r.major) + "." + IntToStr(r.minor));
  EXPECT_EQ(id.build, r.build);
  EXPECT_FALSE(id.osName.empty());
  EXPECT_EQ(WindowsFlag(), id.osFlag);
  EXPECT_NE(id.osFlag, 0u);
  EXPECT_EQ(id.osFlag & (id.osFlag - 1), 0u);  // one bit
  EXPECT_TRUE(IsNT());
  EXPECT_EQ(IsXP(), r.major == 5 && r.minor == 1);
}

TEST(WindowsVersion, SixtyFourBitOnlyUnderWow64) {
  // A 32-bit process under WOW64 gets PROCESSOR_ARCHITEW6432 from the system.
  const bool wow64 = !Env("PROCESSOR_ARCHITEW6432").empty();
  EXPECT_EQ(Is64BitWindows(), wow64);
  FsRedirectionOff off;
  EXPECT_EQ(off.Active(), wow64);
  const WindowsIdentity id = IdentifyWindows();
  EXPECT_EQ(EndsWith(".64", id.osName), wow64) << id.osName;
}

// ---- Windows versions chosen through Wine ---------------------------------------------

namespace {

const char kIdentityOut[] = "WIN64_TEST_IDENTITY_OUT";

class RegValueRestorer {
 public:
  RegValueRestorer(HKEY root, const std::string& path, const std::string& name) : name_(name) {
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_,
                        nullptr) != ERROR_SUCCESS) {
      key_ = nullptr;
      return;
    }
    DWORD size = 0;
    if (RegQueryValueExA(key_, name.c_str(), nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
      old_.resize(size);
      had_ = RegQueryValueExA(key_, name.c_str(), nullptr, &type_, old_.data(), &size) == ERROR_SUCCESS;
      old_.resize(size);
    }
  }
  ~RegValueRestorer() {
    if (!key_) return;
    if (had_) RegSetValueExA(key_, name_.c_str(), 0, type_, old_.data(), DWORD(old_.size()));
    else RegDeleteValueA(key_, name_.c_str());
    RegCloseKey(key_);
  }
  RegValueRestorer(const RegValueRestorer&) = delete;
  RegValueRestorer& operator=(const RegValueRestorer&) = delete;
  bool Ok() const { return key_ != nullptr; }
  LONG SetText(const std::string& text) {
    return RegSetValueExA(key_, name_.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          DWORD(text.size() + 1));
  }
  LONG SetDword(DWORD v) {
    return RegSetValueExA(key_, name_.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof v);
  }
  LONG Delete() { return RegDeleteValueA(key_, name_.c_str()); }

 private:
  std::string name_;
  HKEY key_ = nullptr;
  DWORD type_ = 0;
  bool had_ = false;
  std::vector<BYTE> old_;
};

// Per-program Windows version of Wine; the key is removed again.
class WineAppVersion {
 public:
  WineAppVersion(const std::string& exeName, const std::string& version)
      : path_("Software\\Wine\\AppDefaults\\" + exeName) {
    HKEY key = nullptr;
    ok_ = RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) ==
          ERROR_SUCCESS;
    if (!ok_) return;
    ok_ = RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                         DWORD(version.size() + 1)) == ERROR_SUCCESS;
    RegCloseKey(key);
  }
  ~WineAppVersion() { RegDeleteKeyA(HKEY_CURRENT_USER, path_.c_str()); }
  WineAppVersion(const WineAppVersion&) = delete;
  WineAppVersion& operator=(const WineAppVersion&) = delete;
  bool Ok() const { return ok_; }

 private:
  std::string path_;
  bool ok_ = false;
};

std::string Manifest(bool withWindows10) {
  std::string m =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
      "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
      "  <assemblyIdentity type=\"win32\" name=\"Win64.Probe\" version=\"1.0.0.0\" processorArchitecture=\"x86\"/>\r\n"
      "  <compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">\r\n"
      "    <application>\r\n"
      "      <supportedOS Id=\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"/>\r\n"   // Vista
      "      <supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>\r\n"   // 7
      "      <supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>\r\n"   // 8
      "      <supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>\r\n";  // 8.1
  if (withWindows10) m += "      <supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>\r\n";
  m += "    </application>\r\n  </compatibility>\r\n</assembly>\r\n";
  return m;
}

enum class ManifestKind { kNone, kUpTo81, kUpTo10 };

// Runs a copy of this program as Wine's chosen version; the copy answers with one
// line "reported|record|name|flag|servicepack|xp|win8|server".
std::string IdentityUnder(const std::string& wineVersion, ManifestKind manifest) {
  static int counter = 0;
  TempDir dir;
  const std::string name = "w64probe_" + IntToStr(GetCurrentProcessId()) + "_" + IntToStr(++counter) + ".exe";
  const std::string exe = dir.File(name);
  if (!CopyFileA(OwnExe().c_str(), exe.c_str(), FALSE)) return "copy failed";
  if (manifest != ManifestKind::kNone) WriteBytes(exe + ".manifest", Manifest(manifest == ManifestKind::kUpTo10));
  WineAppVersion version(name, wineVersion);
  if (!version.Ok()) return "no AppDefaults key";
  const std::string out = dir.File("identity.txt");

  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = nullptr;
  si.hStdOutput = si.hStdError = nul;
  PROCESS_INFORMATION pi{};
  std::string cmd = "\"" + exe + "\" --gtest_filter=Win64Child.WriteIdentity";
  SetEnvironmentVariableA(kIdentityOut, out.c_str());
  const BOOL started =
      CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, dir.Path().c_str(), &si, &pi);
  SetEnvironmentVariableA(kIdentityOut, nullptr);
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (!started) return "start failed";
  const DWORD waited = WaitForSingleObject(pi.hProcess, 120000);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (waited != WAIT_OBJECT_0) return "timed out";
  if (code != 0) return "child failed";
  return ReadBytes(out);
}

std::string Kernel32Build() {
  const std::vector<int64_t> k = VersionNumbers(DirectVersion(SystemFile("kernel32.dll")).Text("ProductVersion"), 3);
  return IntToStr(k[0]) + "." + IntToStr(k[1]) + "." + IntToStr(k[2]);
}

}  // namespace

// Helper of the cases below: does its work only inside the copy they start.
TEST(Win64Child, WriteIdentity) {
  const std::string out = Env(kIdentityOut);
  if (out.empty()) GTEST_SKIP() << "runs inside WindowsVersionUnderWine only";
  OSVERSIONINFOEXA v{};
  v.dwOSVersionInfoSize = sizeof v;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&v)));
#pragma GCC diagnostic pop
  // A failure here makes the copy exit with an error, which its starter reports.
  ASSERT_EQ(IsServer(), v.wProductType != VER_NT_WORKSTATION || GetSystemMetrics(SM_SERVERR2) != 0);
  const WindowsVersionRecord& r = GetWindowsVersion();
  const WindowsIdentity id = IdentifyWindows();
  const std::string line = IntToStr(v.dwMajorVersion) + "." + IntToStr(v.dwMinorVersion) + "." +
                           IntToStr(v.dwBuildNumber) + "|" + IntToStr(r.major) + "." + IntToStr(r.minor) + "." +
                           IntToStr(r.build) + "|" + id.osName + "|" + IntToStr(id.osFlag) + "|" + id.servicePack +
                           "|" + BoolChar(IsXP()) + "|" + BoolChar(IsWin8OrLater()) + "|" + BoolChar(IsServer());
  WriteBytes(out, line);
}

class WindowsVersionUnderWine : public testing::Test {
 protected:
  void SetUp() override {
    if (!UnderWine()) GTEST_SKIP() << "Wine's per-program Windows version is needed";
  }
};

TEST_F(WindowsVersionUnderWine, Windows7) {
  // Wine 8 calls its "win7" a server; a 32-bit 6.1 is "7" either way.
  const std::string line = IdentityUnder("win7", ManifestKind::kNone);
  EXPECT_TRUE(line == "6.1.7601|6.1.7601|7|1024|Service Pack 1|0|0|0" ||
              line == "6.1.7601|6.1.7601|7|1024|Service Pack 1|0|0|1")
      << line;
}

TEST_F(WindowsVersionUnderWine, WindowsXP) {
  EXPECT_EQ(IdentityUnder("winxp", ManifestKind::kNone), "5.1.2600|5.1.2600|XP|32|Service Pack 3|1|0|0");
}

TEST_F(WindowsVersionUnderWine, Server2008) {
  EXPECT_EQ(IdentityUnder("win2008", ManifestKind::kNone), "6.0.6002|6.0.6002|2008|4096|Service Pack 2|0|0|1");
}

TEST_F(WindowsVersionUnderWine, Windows10AsSeenByADeclaredWindows81Program) {
  // Reports 8.1; the record takes major, minor and build from kernel32.dll.
  EXPECT_EQ(IdentityUnder("win10", ManifestKind::kUpTo81),
            "6.3.9600|" + Kernel32Build() + "|10|2097152||0|1|0");
}

TEST_F(WindowsVersionUnderWine, Windows10AsSeenByADeclaredWindows10Program) {
  const std::string line = IdentityUnder("win10", ManifestKind::kUpTo10);
  const std::string reported = SUB::Item("|" + line + "|", 0);
  EXPECT_TRUE(StartsWith("10.0.", reported)) << line;
  EXPECT_EQ(line, reported + "|" + reported + "|10|2097152||0|1|0");
}

TEST_F(WindowsVersionUnderWine, Windows10AsSeenByAProgramWithoutManifest) {
  // Without a manifest the system answers 6.2: why Stub.exe needs one.
  EXPECT_EQ(IdentityUnder("win10", ManifestKind::kNone), "6.2.9200|6.2.9200|8|32768||0|1|0");
}

// ---- names -----------------------------------------------------------------------------

TEST(Names, UserComputerAndDomain) {
  const std::string user = UserName();
  ASSERT_FALSE(user.empty());
  EXPECT_EQ(user, Trim(user));
  if (!Env("USERNAME").empty()) {
    EXPECT_TRUE(SameText(user, Env("USERNAME"))) << user << " / " << Env("USERNAME");
  }
  const std::string computer = ComputerName();
  ASSERT_FALSE(computer.empty());
  if (!Env("COMPUTERNAME").empty()) {
    EXPECT_TRUE(SameText(computer, Env("COMPUTERNAME"))) << computer;
  }
  const std::string domain = UserDomain();
  ASSERT_FALSE(domain.empty());
  if (!Env("USERDOMAIN").empty()) {
    EXPECT_TRUE(SameText(domain, Env("USERDOMAIN"))) << domain;
  }
}

TEST(Names, RegisteredOwnerAndOrganization) {
  const std::string key = RegistrationKeyPath(true);
  RegValueRestorer owner(HKEY_LOCAL_MACHINE, key, "RegisteredOwner");
  RegValueRestorer org(HKEY_LOCAL_MACHINE, key, "RegisteredOrganization");
  if (!owner.Ok() || owner.SetText("probe") == ERROR_ACCESS_DENIED) GTEST_SKIP() << "no write access to HKLM";
  const std::string user = UserName();

  ASSERT_EQ(owner.SetText("  Jane Q. Owner \t"), ERROR_SUCCESS);
  EXPECT_EQ(RegisteredOwner(), "Jane Q. Owner");
  ASSERT_EQ(owner.SetText(""), ERROR_SUCCESS);
  EXPECT_EQ(RegisteredOwner(), user);  // empty counts as missing
  ASSERT_EQ(owner.SetText("   "), ERROR_SUCCESS);
  EXPECT_EQ(RegisteredOwner(), user);
  ASSERT_EQ(owner.SetDword(7), ERROR_SUCCESS);
  EXPECT_EQ(RegisteredOwner(), user);  // not a text
  owner.Delete();
  EXPECT_EQ(RegisteredOwner(), user);

  ASSERT_EQ(org.SetText(" Acme Widgets Ltd "), ERROR_SUCCESS);
  EXPECT_EQ(RegisteredOrganization(), "Acme Widgets Ltd");
  ASSERT_EQ(org.SetText(""), ERROR_SUCCESS);
  EXPECT_EQ(RegisteredOrganization(), "");
  org.Delete();
  EXPECT_EQ(RegisteredOrganization(), "");
}

// ---- dates -------------------------------------------------------------------------------

TEST(Dates, LocalClockAndLocaleSeparators) {
  SYSTEMTIME before, after;
  GetLocalTime(&before);
  const LocalDateTime now = CurrentLocalDateTime();
  GetLocalTime(&after);
  EXPECT_TRUE(now.year == before.wYear || now.year == after.wYear);
  EXPECT_TRUE(now.month == before.wMonth || now.month == after.wMonth);
  EXPECT_TRUE(now.day == before.wDay || now.day == after.wDay);

  char sep[8];
  ASSERT_GT(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDATE, sep, sizeof sep), 1);
  EXPECT_EQ(LocaleDateSeparator(), sep);
  ASSERT_GT(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, sep, sizeof sep), 1);
  EXPECT_EQ(LocaleTimeSeparator(), sep);
}
