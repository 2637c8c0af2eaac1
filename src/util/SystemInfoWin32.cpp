#include <windows.h>

#include <cstring>
#include <vector>

#include "util/SeparatorLists.h"
#include "util/SystemInfo.h"

namespace {

// A version resource is at most 64 KB (a 16-bit length); the ANSI reader asks for
// room to convert it as well.
constexpr DWORD kMaxVersionInfo = 1u << 20;
constexpr DWORD kMaxNameBuffer = 1u << 16;
constexpr DWORD kMaxRegistryText = 1u << 16;

VersionLogHooks g_hooks;

void LogQueryLine(const std::string& a, const std::string& b, const std::string& c,
                  const std::string& d) {
    if (g_hooks.query) g_hooks.query(a, b, c, d);
}

void LogExceptionLine(const std::string& message, const std::string& where,
                      const std::string& detail) {
    if (g_hooks.exception) g_hooks.exception(message, where, detail);
}

template <class F>
F Bind(HMODULE module, const char* name) {
    if (!module) return nullptr;
    // Through a generic function pointer: GetProcAddress's type is not the real one.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::string SystemMessage(DWORD code) {
    char text[512];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                             0, text, sizeof text, nullptr);
    std::string r = Trim(std::string(text, n < sizeof text ? n : 0));
    return r.empty() ? "system error " + IntToStr(code) : r;
}

std::string SystemFolder() {
    char path[MAX_PATH + 1];
    UINT n = GetSystemDirectoryA(path, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
}

std::string OwnPath() {
    std::vector<char> buf(MAX_PATH);
    while (buf.size() <= 32768) {
        DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return "";
        if (n < buf.size()) return std::string(buf.data(), n);
        buf.resize(buf.size() * 2);
    }
    return "";
}

// version.dll is not a library Windows always takes from its own folder, so it is
// loaded by full path at first use.
struct VersionApi {
    using SizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
    using InfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
    HMODULE module = nullptr;
    SizeFn size = nullptr;
    InfoFn info = nullptr;
    QueryFn query = nullptr;

    VersionApi() {
        const std::string folder = SystemFolder();
        if (folder.empty()) return;
        module = LoadLibraryExA((folder + "\\version.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        size = Bind<SizeFn>(module, "GetFileVersionInfoSizeA");
        info = Bind<InfoFn>(module, "GetFileVersionInfoA");
        query = Bind<QueryFn>(module, "VerQueryValueA");
    }
    ~VersionApi() {
        if (module) FreeLibrary(module);
    }
    VersionApi(const VersionApi&) = delete;
    VersionApi& operator=(const VersionApi&) = delete;
    bool Ok() const { return size && info && query; }
};

const VersionApi& Version() {
    static const VersionApi api;
    return api;
}

// The version resource of a file, read into a buffer of the size the platform asks.
class VersionInfo {
public:
    bool Read(const std::string& file, std::string& error) {
        const VersionApi& api = Version();
        if (!api.Ok()) {
            error = "version.dll is not available";
            return false;
        }
        DWORD unused = 0;
        const DWORD size = api.size(file.c_str(), &unused);
        if (size == 0) {
            error = SystemMessage(GetLastError());
            return false;
        }
        if (size > kMaxVersionInfo) {
            error = "version resource too large";
            return false;
        }
        data_.assign(size, 0);
        if (!api.info(file.c_str(), 0, size, data_.data())) {
            error = SystemMessage(GetLastError());
            data_.clear();
            return false;
        }
        return true;
    }

    // The value of a sub-block and its usable length in bytes, bounded by the buffer.
    bool Query(const std::string& block, const char*& value, size_t& bytes, size_t unit) const {
        void* p = nullptr;
        UINT len = 0;
        if (data_.empty() || !Version().query(data_.data(), block.c_str(), &p, &len) || !p) return false;
        const char* begin = data_.data();
        const char* end = begin + data_.size();
        const char* v = static_cast<const char*>(p);
        if (v < begin || v >= end) return false;
        value = v;
        bytes = std::min(static_cast<size_t>(len) * unit, static_cast<size_t>(end - v));
        return true;
    }

private:
    std::vector<char> data_;
};

bool FixedFileVersion(const std::string& file, std::string& version, std::string& error) {
    VersionInfo vi;
    if (!vi.Read(file, error)) return false;
    const char* p = nullptr;
    size_t bytes = 0;
    VS_FIXEDFILEINFO fixed;
    if (!vi.Query("\\", p, bytes, 1) || bytes < sizeof fixed) {
        error = "no fixed version information";
        return false;
    }
    std::memcpy(&fixed, p, sizeof fixed);
    if (fixed.dwSignature != 0xFEEF04BD) {
        error = "bad fixed version information signature";
        return false;
    }
    version = FixedVersionText(fixed.dwFileVersionMS, fixed.dwFileVersionLS);
    return true;
}

std::string VersionStringValue(const std::string& path, const std::string& name, int digits, int parts,
                               std::string& error) {
    std::string result;
    VersionInfo vi;
    if (vi.Read(path, error)) {
        const char* p = nullptr;
        size_t bytes = 0;
        uint32_t translation = 0;
        if (!vi.Query("\\VarFileInfo\\Translation", p, bytes, 1) || bytes < sizeof translation) {
            error = "no translation entry";
        } else {
            std::memcpy(&translation, p, sizeof translation);
            if (!vi.Query(VersionStringBlock(translation, name), p, bytes, 1)) {
                error = "no value " + name;
            } else {
                result = ReplaceChar(std::string(p, strnlen(p, bytes)), ',', '.');
            }
        }
    }
    result = FormatVersionResult(result, digits, parts);
    LogQueryLine("QueryValue", path, name, result);
    return result;
}

class RegKey {
public:
    RegKey() = default;
    ~RegKey() {
        if (key_) RegCloseKey(key_);
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    bool Open(HKEY root, const std::string& path, REGSAM access) {
        return RegOpenKeyExA(root, path.c_str(), 0, access, &key_) == ERROR_SUCCESS;
    }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// A REG_SZ or REG_EXPAND_SZ value as stored; empty when missing or of another type.
std::string ReadMachineText(const std::string& path, const std::string& name, bool view64) {
    RegKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, path, KEY_QUERY_VALUE | (view64 ? KEY_WOW64_64KEY : 0))) return "";
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return "";
    if ((type != REG_SZ && type != REG_EXPAND_SZ) || size == 0 || size > kMaxRegistryText) return "";
    std::vector<char> buf(size);
    if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()),
                         &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return "";
    size = std::min<DWORD>(size, static_cast<DWORD>(buf.size()));
    return std::string(buf.data(), strnlen(buf.data(), size));
}

bool ReadVersionRecord(OSVERSIONINFOEXA& vi) {
    std::memset(&vi, 0, sizeof vi);
    vi.dwOSVersionInfoSize = sizeof vi;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&vi))) return true;
    // Systems before the extended record know only the short one.
    std::memset(&vi, 0, sizeof vi);
    vi.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    return GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&vi)) != 0;
#pragma GCC diagnostic pop
}

std::string LocaleText(LCTYPE type, const char* def) {
    char buf[16];
    int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buf, sizeof buf);
    if (n <= 1 || n > static_cast<int>(sizeof buf)) return def;
    return std::string(buf, strnlen(buf, static_cast<size_t>(n)));
}

}  // namespace

void SetVersionLogHooks(const VersionLogHooks& hooks) { g_hooks = hooks; }

// ---- version resources -----------------------------------------------------------

std::string GetExeVersion(const std::string& file, int digits, int parts) {
    const std::string path = file.empty() ? OwnPath() : file;
    std::string version, error;
    if (!FixedFileVersion(path, version, error)) {
        LogExceptionLine(error, "Utils.GetExeVersion()", path);
        return "";
    }
    return FormatVersionResult(version, digits, parts);
}

std::string GetVersionString(const std::string& file, const std::string& name, int digits, int parts) {
    std::string error;
    return VersionStringValue(file.empty() ? OwnPath() : file, name, digits, parts, error);
}

std::string GetProductVersion(const std::string& file, int digits, int parts) {
    const std::string path = file.empty() ? OwnPath() : file;
    std::string error;
    std::string result = VersionStringValue(path, "ProductVersion", digits, parts, error);
    if (!error.empty()) LogExceptionLine(error, "Utils.GetProductVersion()", path);
    return result;
}

// ---- the running Windows ----------------------------------------------------------

const WindowsVersionRecord& GetWindowsVersion() {
    static const WindowsVersionRecord record = [] {
        WindowsVersionRecord r;
        OSVERSIONINFOEXA vi;
        if (!ReadVersionRecord(vi)) return r;
        r.major = vi.dwMajorVersion;
        r.minor = vi.dwMinorVersion;
        r.build = vi.dwBuildNumber;
        r.platformId = vi.dwPlatformId;
        r.servicePack = std::string(vi.szCSDVersion, strnlen(vi.szCSDVersion, sizeof vi.szCSDVersion));
        if (r.major > 5 && r.minor > 2) {
            const std::string folder = SystemFolder();
            if (!folder.empty()) r = CorrectWindowsVersion(r, GetProductVersion(folder + "\\kernel32.dll", 1, 4));
        }
        return r;
    }();
    return record;
}

bool IsServer() {
    if (GetSystemMetrics(SM_SERVERR2) != 0) return true;
    OSVERSIONINFOEXA vi;
    if (!ReadVersionRecord(vi) || vi.dwOSVersionInfoSize != sizeof vi) return false;
    return vi.wProductType == VER_NT_DOMAIN_CONTROLLER || vi.wProductType == VER_NT_SERVER;
}

bool Is64BitWindows() {
    static const bool is64 = [] {
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        HMODULE advapi = GetModuleHandleA("advapi32.dll");
        if (!kernel) return false;
        Wow64Support s;
        s.hasGetNativeSystemInfo = GetProcAddress(kernel, "GetNativeSystemInfo") != nullptr;
        auto isWow64 = Bind<BOOL(WINAPI*)(HANDLE, PBOOL)>(kernel, "IsWow64Process");
        s.hasIsWow64Process = isWow64 != nullptr;
        if (isWow64) {
            BOOL wow = FALSE;
            s.isWow64CallSucceeded = isWow64(GetCurrentProcess(), &wow) != 0;
            s.isWow64 = wow != FALSE;
        }
        s.hasDisableFsRedirection = GetProcAddress(kernel, "Wow64DisableWow64FsRedirection") != nullptr;
        s.hasRevertFsRedirection = GetProcAddress(kernel, "Wow64RevertWow64FsRedirection") != nullptr;
        s.hasGetSystemWow64Directory = GetProcAddress(kernel, "GetSystemWow64DirectoryA") != nullptr;
        s.hasRegDeleteKeyEx = advapi && GetProcAddress(advapi, "RegDeleteKeyExA") != nullptr;
        return Is64BitFrom(s);
    }();
    return is64;
}

WindowsIdentity IdentifyWindows() {
    return IdentifyWindowsFrom(GetWindowsVersion(), Is64BitWindows(), IsServer());
}

uint32_t WindowsFlag() { return IdentifyWindows().osFlag; }

bool IsNT() { return GetWindowsVersion().platformId == kPlatformNT; }

bool IsXP() {
    static const bool xp = IsXPFrom(GetWindowsVersion());
    return xp;
}

bool IsWin8OrLater() { return IsWin8OrLaterFrom(GetWindowsVersion()); }

FsRedirectionOff::FsRedirectionOff() {
    if (!Is64BitWindows()) return;
    auto disable = Bind<BOOL(WINAPI*)(PVOID*)>(GetModuleHandleA("kernel32.dll"), "Wow64DisableWow64FsRedirection");
    active_ = disable && disable(&old_);
}

FsRedirectionOff::~FsRedirectionOff() {
    if (!active_) return;
    auto revert = Bind<BOOL(WINAPI*)(PVOID)>(GetModuleHandleA("kernel32.dll"), "Wow64RevertWow64FsRedirection");
    if (revert) revert(old_);
}

// ---- names ------------------------------------------------------------------------

std::string UserName() {
    char buf[256];
    DWORD n = sizeof buf;
    if (!GetUserNameA(buf, &n) || n == 0) return "";
    return Trim(std::string(buf, strnlen(buf, std::min<DWORD>(n, sizeof buf))));
}

std::string ComputerName() {
    char buf[256];
    DWORD n = sizeof buf;
    if (!GetComputerNameA(buf, &n)) return "";
    return Trim(std::string(buf, strnlen(buf, std::min<DWORD>(n, sizeof buf))));
}

std::string UserDomain() {
    const std::string user = UserName();
    if (user.empty()) return "";
    DWORD sidSize = 0, domainSize = 0;
    SID_NAME_USE use;
    // The first call only learns the sizes.
    LookupAccountNameA(nullptr, user.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
    if (sidSize == 0 || domainSize == 0 || sidSize > kMaxNameBuffer || domainSize > kMaxNameBuffer) return "";
    std::vector<BYTE> sid(sidSize);
    std::vector<char> domain(domainSize + 1, 0);
    DWORD domainLen = domainSize;
    if (!LookupAccountNameA(nullptr, user.c_str(), sid.data(), &sidSize, domain.data(), &domainLen, &use))
        return "";
    return Trim(std::string(domain.data(), strnlen(domain.data(), domain.size())));
}

std::string RegisteredOwner() {
    return RegisteredTextOr(ReadMachineText(RegistrationKeyPath(IsNT()), "RegisteredOwner", Is64BitWindows()),
                            UserName());
}

std::string RegisteredOrganization() {
    return RegisteredTextOr(
        ReadMachineText(RegistrationKeyPath(IsNT()), "RegisteredOrganization", Is64BitWindows()), "");
}

// ---- dates --------------------------------------------------------------------------

LocalDateTime CurrentLocalDateTime() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    LocalDateTime dt;
    dt.year = st.wYear;
    dt.month = st.wMonth;
    dt.day = st.wDay;
    dt.hour = st.wHour;
    dt.minute = st.wMinute;
    dt.second = st.wSecond;
    return dt;
}

std::string LocaleDateSeparator() { return LocaleText(LOCALE_SDATE, "/"); }
std::string LocaleTimeSeparator() { return LocaleText(LOCALE_STIME, ":"); }
