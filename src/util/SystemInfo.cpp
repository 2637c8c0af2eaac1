#include "util/SystemInfo.h"

#include <algorithm>

#include "util/SeparatorLists.h"

#ifndef _WIN32
#include <ctime>
#endif

namespace {

constexpr int kMaxDigits = 20;
constexpr int kMaxParts = 64;

int Clamp(int value, int low, int high) { return std::min(std::max(value, low), high); }

// The numbers of a version text as one "."-enclosed list.
std::string VersionList(const std::string& text) {
    return Enclose(FilterChars(ReplaceChar(text, ',', '.'), "0123456789."), '.');
}

}  // namespace

// ---- version texts --------------------------------------------------------------

std::vector<int64_t> VersionNumbers(const std::string& text, int parts) {
    const std::string list = VersionList(text);
    std::vector<int64_t> numbers;
    for (int i = 0; i < Clamp(parts, 0, kMaxParts); ++i) numbers.push_back(SUB::ItemInt(list, i, 0));
    return numbers;
}

std::string NormalizeVersion(const std::string& text, int digits, int parts) {
    const int width = Clamp(digits, 0, kMaxDigits);
    std::string result;
    for (int64_t n : VersionNumbers(text, parts)) {
        result += ZeroPad(n, width);
        result += '.';
    }
    return StripChar(result, '.', true);
}

std::string FormatVersionResult(const std::string& text, int digits, int parts) {
    if (Trim(text).empty()) return "";  // a missing version never becomes "0.0.0.0"
    return digits > 1 || parts < 4 ? NormalizeVersion(text, digits, parts) : text;
}

int CompareVersions(const std::string& a, const std::string& b) {
    const std::string la = VersionList(a), lb = VersionList(b);
    const int n = std::min(std::max(SUB::Count(la), SUB::Count(lb)), kMaxParts);
    for (int i = 0; i < n; ++i) {
        const int64_t x = SUB::ItemInt(la, i, 0), y = SUB::ItemInt(lb, i, 0);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

std::string FixedVersionText(uint32_t versionMS, uint32_t versionLS) {
    return IntToStr(versionMS >> 16) + "." + IntToStr(versionMS & 0xFFFF) + "." +
           IntToStr(versionLS >> 16) + "." + IntToStr(versionLS & 0xFFFF);
}

std::string VersionStringBlock(uint32_t translation, const std::string& name) {
    static const char kHex[] = "0123456789abcdef";
    auto hex4 = [](uint32_t v) {
        std::string r(4, '0');
        for (int i = 3; i >= 0; --i, v >>= 4) r[static_cast<size_t>(i)] = kHex[v & 0xF];
        return r;
    };
    return "\\StringFileInfo\\" + hex4(translation & 0xFFFF) + hex4(translation >> 16) + "\\" + name;
}

// ---- Windows version ------------------------------------------------------------

WindowsVersionRecord CorrectWindowsVersion(const WindowsVersionRecord& reported,
                                           const std::string& kernelProductVersion) {
    if (!(reported.major > 5 && reported.minor > 2)) return reported;
    const std::vector<int64_t> n = VersionNumbers(kernelProductVersion, 3);
    auto fits = [](int64_t v) { return v >= 0 && v <= 0xFFFFFFFFll; };
    // A missing or unreadable kernel32 version must not turn the record into 0.0.
    if (n[0] <= 0 || !fits(n[0]) || !fits(n[1]) || !fits(n[2])) return reported;
    WindowsVersionRecord r = reported;
    r.major = static_cast<uint32_t>(n[0]);
    r.minor = static_cast<uint32_t>(n[1]);
    r.build = static_cast<uint32_t>(n[2]);
    return r;
}

WindowsIdentity IdentifyWindowsFrom(const WindowsVersionRecord& record, bool is64Bit,
                                    bool isServer) {
    WindowsIdentity id;
    id.version = IntToStr(record.major) + "." + IntToStr(record.minor);
    id.servicePack = Trim(record.servicePack);
    id.build = record.build;
    auto set = [&id](const char* name, uint32_t flag) {
        id.osName = name;
        id.osFlag = flag;
    };
    const uint32_t ma = record.major, mi = record.minor;
    auto is = [ma, mi](uint32_t major, uint32_t minor) { return ma == major && mi == minor; };

    switch (record.platformId) {
        case kPlatformWin32s:
            set("32S", 0);
            break;
        case kPlatformWin9x:
            // The low word of a 9x build number is the build itself.
            if (is(4, 90) || (is(4, 10) && (record.build & 0xFFFF) == 3000)) set("ME", 4);
            else if (is(4, 0)) set("95", 1);
            else if (is(4, 10)) set("98", 2);
            else set("9x", 1);
            break;
        case kPlatformNT:
            if (is(4, 0)) set("NT", 8);
            else if (is(5, 0)) set("2000", 16);
            else if (is(5, 1)) set("XP", 32);
            else if (is(5, 2)) set("2003", 64);
            else if (is(6, 0)) set("Vista", 128);
            else if (is(6, 1)) set("7", 1024);
            else if (is(6, 2)) set("8", 32768);
            else if (is(6, 3)) set("8.1", 262144);
            else if (is(10, 0)) set("10", 2097152);
            else set("NTx", 8);

            if (is64Bit) {
                if (is(5, 2)) set("XP.64", 256);
                else if (is(6, 0)) set("Vista.64", 512);
                else if (is(6, 1)) set("7.64", 2048);
                else if (is(6, 2)) set("8.64", 65536);
                else if (is(6, 3)) set("8.1.64", 524288);
                else if (is(10, 0)) set("10.64", 4194304);
            }

            // A 32-bit server of 6.1 and later keeps its desktop name; 10.0 has no
            // server name of its own.
            if (isServer) {
                if (is(6, 0)) set(is64Bit ? "2008.64" : "2008", is64Bit ? 8192 : 4096);
                else if (is64Bit && is(6, 1)) set("2008R2.64", 16384);
                else if (is64Bit && is(6, 2)) set("2012.64", 131072);
                else if (is64Bit && is(6, 3)) set("2012R2.64", 1048576);
            }
            break;
        default:
            break;
    }
    return id;
}

bool WindowsVersionAtLeast(const WindowsVersionRecord& record, uint32_t major, uint32_t minor) {
    return record.major > major || (record.major == major && record.minor >= minor);
}

bool IsXPFrom(const WindowsVersionRecord& record) {
    return record.platformId == kPlatformNT && record.major == 5 && record.minor == 1;
}

bool IsWin8OrLaterFrom(const WindowsVersionRecord& record) {
    return record.platformId == kPlatformNT && WindowsVersionAtLeast(record, 6, 2);
}

bool Is64BitFrom(const Wow64Support& s) {
    return s.hasGetNativeSystemInfo && s.hasIsWow64Process && s.isWow64CallSucceeded && s.isWow64 &&
           s.hasDisableFsRedirection && s.hasRevertFsRedirection && s.hasGetSystemWow64Directory &&
           s.hasRegDeleteKeyEx;
}

std::string RegistrationKeyPath(bool nt) {
    return nt ? "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"
              : "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
}

std::string RegisteredTextOr(const std::string& value, const std::string& def) {
    const std::string v = Trim(value);
    return v.empty() ? Trim(def) : v;
}

// ---- dates and times ------------------------------------------------------------

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kDays1899To1970 = 25569;  // 30 Dec 1899 to 1 Jan 1970

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int64_t y, int m) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Days since 1 January 1970 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

// Seconds values of 1 Jan 0001 00:00:00 and 31 Dec 9999 23:59:59.
const int64_t kFirstSecond = (DaysFromCivil(1, 1, 1) + kDays1899To1970) * kSecondsPerDay;
const int64_t kLastSecond = (DaysFromCivil(9999, 12, 31) + kDays1899To1970) * kSecondsPerDay + 86399;

std::string TimeTextOf(const LocalDateTime& dt, const std::string& sep) {
    return ZeroPad(dt.hour, 2) + sep + ZeroPad(dt.minute, 2) + sep + ZeroPad(dt.second, 2);
}

bool ResolveDateTime(int64_t dateTime, LocalDateTime& out) {
    if (dateTime == -1) {
        out = CurrentLocalDateTime();
        return IsValidDateTime(out);
    }
    return DateTimeFromSeconds(dateTime, out);
}

}  // namespace

bool IsValidDateTime(const LocalDateTime& dt) {
    return dt.year >= 1 && dt.year <= 9999 && dt.month >= 1 && dt.month <= 12 && dt.day >= 1 &&
           dt.day <= DaysInMonth(dt.year, dt.month) && dt.hour >= 0 && dt.hour <= 23 &&
           dt.minute >= 0 && dt.minute <= 59 && dt.second >= 0 && dt.second <= 59;
}

bool DateTimeFromSeconds(int64_t seconds, LocalDateTime& out) {
    if (seconds < kFirstSecond || seconds > kLastSecond) return false;
    int64_t days = seconds / kSecondsPerDay;
    int64_t rest = seconds % kSecondsPerDay;
    if (rest < 0) {
        rest += kSecondsPerDay;
        --days;
    }
    int64_t year = 0;
    LocalDateTime dt;
    CivilFromDays(days - kDays1899To1970, year, dt.month, dt.day);
    dt.year = static_cast<int>(year);
    dt.hour = static_cast<int>(rest / 3600);
    dt.minute = static_cast<int>(rest / 60 % 60);
    dt.second = static_cast<int>(rest % 60);
    out = dt;
    return true;
}

bool SecondsFromDateTime(const LocalDateTime& dt, int64_t& out) {
    if (!IsValidDateTime(dt)) return false;
    out = (DaysFromCivil(dt.year, dt.month, dt.day) + kDays1899To1970) * kSecondsPerDay +
          dt.hour * 3600 + dt.minute * 60 + dt.second;
    return true;
}

int64_t NowSeconds() {
    int64_t s = 0;
    return SecondsFromDateTime(CurrentLocalDateTime(), s) ? s : 0;
}

std::string DateTextOf(const LocalDateTime& dt) {
    if (!IsValidDateTime(dt)) return "";
    return ZeroPad(dt.day, 2) + "-" + SUB::Item("||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|", dt.month) +
           "-" + ZeroPad(dt.year, 4);
}

std::string DateTimeTextOf(const std::string& separator, const LocalDateTime& dt) {
    if (!IsValidDateTime(dt)) return "";
    return DateTextOf(dt) + separator + TimeTextOf(dt, ":");
}

std::string LogTimestampOf(const LocalDateTime& dt, const std::string& dateSeparator,
                           const std::string& timeSeparator) {
    if (!IsValidDateTime(dt)) return "";
    return ZeroPad(dt.day, 2) + dateSeparator + ZeroPad(dt.month, 2) + dateSeparator +
           ZeroPad(dt.year % 100, 2) + " " + TimeTextOf(dt, timeSeparator);
}

std::string DateText(int64_t dateTime) {
    LocalDateTime dt;
    return ResolveDateTime(dateTime, dt) ? DateTextOf(dt) : "";
}

std::string DateTimeText(const std::string& separator, int64_t dateTime) {
    LocalDateTime dt;
    return ResolveDateTime(dateTime, dt) ? DateTimeTextOf(separator, dt) : "";
}

std::string LogTimestamp(int64_t dateTime) {
    LocalDateTime dt;
    return ResolveDateTime(dateTime, dt) ? LogTimestampOf(dt, LocaleDateSeparator(), LocaleTimeSeparator())
                                         : "";
}

#ifndef _WIN32
LocalDateTime CurrentLocalDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    LocalDateTime dt;
    if (localtime_r(&now, &tm) == nullptr) return dt;
    dt.year = tm.tm_year + 1900;
    dt.month = tm.tm_mon + 1;
    dt.day = tm.tm_mday;
    dt.hour = tm.tm_hour;
    dt.minute = tm.tm_min;
    dt.second = std::min(tm.tm_sec, 59);  // a leap second shows as :59
    return dt;
}

std::string LocaleDateSeparator() { return "/"; }
std::string LocaleTimeSeparator() { return ":"; }
#endif
