#include "util/PlatformHelpers.h"

#include "util/Random.h"
#include "util/SeparatorLists.h"

uint32_t ParseRootKey(const std::string& name) {
  std::string n = UpperCase(Trim(name));
  if (n == "HKEY_CLASSES_ROOT" || n == "HKCR") return kHkeyClassesRoot;
  if (n == "HKEY_LOCAL_MACHINE" || n == "HKLM") return kHkeyLocalMachine;
  if (n == "HKEY_USERS" || n == "HKU") return kHkeyUsers;
  if (n == "HKEY_CURRENT_CONFIG" || n == "HKCC") return kHkeyCurrentConfig;
  if (n == "HKEY_DYN_DATA" || n == "HKDD") return kHkeyDynData;
  return kHkeyCurrentUser;
}

RegistryPath SplitRegistryPath(const std::string& location) {
  RegistryPath path;
  std::string text = Trim(location);
  path.subkey = text;
  if (!StartsWith("HK", text, true)) return path;
  size_t slash = text.find('\\');
  if (slash == std::string::npos) {
    path.root = ParseRootKey(text);
    path.subkey.clear();
  } else {
    path.root = ParseRootKey(text.substr(0, slash));
    path.subkey = text.substr(slash + 1);
  }
  return path;
}

std::string DecodeRegistryValue(uint32_t type, const uint8_t* data, size_t size) {
  if (!data) size = 0;
  auto little = [&](size_t n) {
    uint64_t v = 0;
    for (size_t i = n; i-- > 0;) v = v << 8 | data[i];
    return v;
  };
  if (type == kRegDword && size == 4) return std::to_string(little(4));
  if (type == kRegQword && size == 8) return std::to_string(little(8));
  std::string bytes(reinterpret_cast<const char*>(data), size);
  if (type == kRegMultiSz && size > 2) {
    while (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
    return ReplaceAll(bytes, std::string(1, '\0'), "<0>");
  }
  return bytes.substr(0, bytes.find('\0'));
}

std::string TidyErrorText(const std::string& text) {
  size_t end = text.size();
  while (end > 0 && (uint8_t(text[end - 1]) <= 32 || text[end - 1] == '.')) --end;
  return text.substr(0, end);
}

uint32_t PumpInterval(uint32_t interval, uint64_t total) {
  if (interval) return interval;
  uint64_t tenth = total / 10;
  return tenth < 1 ? 1 : tenth > 25 ? 25 : uint32_t(tenth);
}

uint64_t CounterToMilliseconds(uint64_t counter, uint64_t frequency) {
  if (frequency == 0) return 0;
  return counter / frequency * 1000 + counter % frequency * 1000 / frequency;
}

int PointsToPixelsAt(int points, int pixelsPerInch) {
  int64_t product = int64_t(points) * pixelsPerInch;
  int64_t rounded = product >= 0 ? (product + 36) / 72 : (product - 36) / 72;
  return int(rounded);
}

int64_t RandomBetween(int64_t low, int64_t high) {
  if (high <= low) return low;
  uint64_t span = uint64_t(high) - uint64_t(low) + 1;  // 0 means the whole 64-bit range
  uint64_t r = (uint64_t(RandomBelow(0xFFFFFFFFu)) << 32) ^ RandomBelow(0xFFFFFFFFu) ^
               (uint64_t(RandomBelow(0xFFFFFFFFu)) << 16);
  return int64_t(uint64_t(low) + (span ? r % span : r));
}

std::string RandomText(int64_t low, int64_t high) { return IntToStr(RandomBetween(low, high)); }

namespace {
bool g_abortFlag = false;
}  // namespace

void SetAbortFlag(bool on) { g_abortFlag = on; }
bool AbortFlag() { return g_abortFlag; }
