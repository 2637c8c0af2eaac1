// Version texts of files, identification of the running Windows, user and machine
// names, and the date and time texts of messages and logs.
//
// The decisions (version texts, the Windows table, date maths) are plain functions
// of their inputs; the platform queries under _WIN32 only gather those inputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ---- version texts --------------------------------------------------------------
// "," becomes "."; only "." and digits are kept; numbers 0..parts-1 (missing or
// empty ones are 0) are written left-padded with "0" to digits characters and
// joined with ".". digits is taken in 0..20 and parts in 0..64.
std::string NormalizeVersion(const std::string& text, int digits, int parts);

// NormalizeVersion when digits > 1 or parts < 4, the text unchanged otherwise:
// the rule every version reader applies to what it read. Empty (or blank) stays
// empty.
std::string FormatVersionResult(const std::string& text, int digits, int parts);

// The first parts numbers (parts taken in 0..64) of a version text, read as
// NormalizeVersion reads them; a number too large for 63 bits counts as 0.
std::vector<int64_t> VersionNumbers(const std::string& text, int parts);

// Compares two version texts number by number as integers (missing numbers are 0):
// -1, 0 or 1. "6.10" is above "6.2".
int CompareVersions(const std::string& a, const std::string& b);

// "%d.%d.%d.%d" of the high and low halves of the two file-version words.
std::string FixedVersionText(uint32_t versionMS, uint32_t versionLS);

// Sub-block "\StringFileInfo\llllcccc\name" for the first "\VarFileInfo\Translation"
// entry (language in the low 16 bits, code page in the high 16 bits).
std::string VersionStringBlock(uint32_t translation, const std::string& name);

// ---- Windows version ------------------------------------------------------------
enum : uint32_t { kPlatformWin32s = 0, kPlatformWin9x = 1, kPlatformNT = 2 };

struct WindowsVersionRecord {
    uint32_t major = 0;
    uint32_t minor = 0;
    uint32_t build = 0;
    uint32_t platformId = 0;
    std::string servicePack;  // at most 128 characters
};

struct WindowsIdentity {
    std::string version;      // major + "." + minor
    std::string osName;       // "XP", "7.64", "2008", ... ; empty for an unknown platform
    std::string servicePack;  // trimmed
    uint32_t build = 0;
    uint32_t osFlag = 0;      // one bit per name; 0 for Win32s and unknown platforms
};

// Systems that report 6.3 or a higher minor version above major 5 may be newer than
// they say: their major, minor and build come from the product version of the
// system's kernel32.dll. A product version without a usable major number keeps
// the reported record.
WindowsVersionRecord CorrectWindowsVersion(const WindowsVersionRecord& reported,
                                           const std::string& kernelProductVersion);

// The identification table: plain row, then the 64-bit row, then the server row.
WindowsIdentity IdentifyWindowsFrom(const WindowsVersionRecord& record, bool is64Bit,
                                    bool isServer);

// major.minor compared as integers.
bool WindowsVersionAtLeast(const WindowsVersionRecord& record, uint32_t major, uint32_t minor);
bool IsXPFrom(const WindowsVersionRecord& record);
bool IsWin8OrLaterFrom(const WindowsVersionRecord& record);

// What the platform offers for telling a 64-bit Windows apart.
struct Wow64Support {
    bool hasGetNativeSystemInfo = false;
    bool hasIsWow64Process = false;
    bool isWow64CallSucceeded = false;
    bool isWow64 = false;
    bool hasDisableFsRedirection = false;
    bool hasRevertFsRedirection = false;
    bool hasGetSystemWow64Directory = false;
    bool hasRegDeleteKeyEx = false;
};
bool Is64BitFrom(const Wow64Support& support);

// Key below HKEY_LOCAL_MACHINE that holds the registration values.
std::string RegistrationKeyPath(bool nt);

// A registration value trimmed; an empty or blank value counts as missing and gives
// the trimmed default.
std::string RegisteredTextOr(const std::string& value, const std::string& def);

// ---- dates and times ------------------------------------------------------------
// A local date and time broken down; months and days count from 1.
struct LocalDateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// Years 1 to 9999, real calendar days (Gregorian), 0:00:00 to 23:59:59.
bool IsValidDateTime(const LocalDateTime& dt);

// Seconds value (whole seconds since 30 December 1899 00:00) to and from its
// broken-down form; false outside years 1 to 9999 or for an invalid date.
bool DateTimeFromSeconds(int64_t seconds, LocalDateTime& out);
bool SecondsFromDateTime(const LocalDateTime& dt, int64_t& out);

// The platform's local clock.
LocalDateTime CurrentLocalDateTime();
int64_t NowSeconds();

// The user's date and time separators ("/" and ":" where the platform has none).
std::string LocaleDateSeparator();
std::string LocaleTimeSeparator();

// "07-DEC-2026"; empty for an invalid date.
std::string DateTextOf(const LocalDateTime& dt);
// DateTextOf + separator + "HH:NN:SS".
std::string DateTimeTextOf(const std::string& separator, const LocalDateTime& dt);
// "dd/mm/yy HH:NN:SS" with the given separators in place of "/" and ":".
std::string LogTimestampOf(const LocalDateTime& dt, const std::string& dateSeparator,
                           const std::string& timeSeparator);

// The same for a seconds value; -1 means now. Empty for a value outside the range.
std::string DateText(int64_t dateTime = -1);
std::string DateTimeText(const std::string& separator, int64_t dateTime = -1);
// With the user's locale separators.
std::string LogTimestamp(int64_t dateTime = -1);

#ifdef _WIN32
// ---- diagnostics of the version readers ------------------------------------------
// The readers report through these (set once at start-up by the debug channel):
// query(a, b, c, d) for the "QueryValue" line, exception(message, where, detail) for
// a failure. Unset hooks write nothing.
struct VersionLogHooks {
    void (*query)(const std::string& a, const std::string& b, const std::string& c,
                  const std::string& d) = nullptr;
    void (*exception)(const std::string& message, const std::string& where,
                      const std::string& detail) = nullptr;
};
void SetVersionLogHooks(const VersionLogHooks& hooks);

// ---- version resources -----------------------------------------------------------
// An empty file means the running program. Empty on any failure.
std::string GetExeVersion(const std::string& file = "", int digits = 1, int parts = 4);
std::string GetVersionString(const std::string& file, const std::string& name, int digits = 1,
                             int parts = 4);
std::string GetProductVersion(const std::string& file = "", int digits = 1, int parts = 4);

// ---- the running Windows (each read once and cached) ----------------------------
const WindowsVersionRecord& GetWindowsVersion();
WindowsIdentity IdentifyWindows();
uint32_t WindowsFlag();
bool IsNT();
bool IsXP();
bool IsWin8OrLater();
bool IsServer();
bool Is64BitWindows();

// Turns file-system redirection off for a 32-bit process on 64-bit Windows for the
// life of the object; does nothing elsewhere.
class FsRedirectionOff {
public:
    FsRedirectionOff();
    ~FsRedirectionOff();
    FsRedirectionOff(const FsRedirectionOff&) = delete;
    FsRedirectionOff& operator=(const FsRedirectionOff&) = delete;
    bool Active() const { return active_; }

private:
    void* old_ = nullptr;
    bool active_ = false;
};

// ---- names ------------------------------------------------------------------------
std::string UserName();
std::string ComputerName();
std::string UserDomain();
std::string RegisteredOwner();         // default: UserName()
std::string RegisteredOrganization();  // default: empty
#endif
