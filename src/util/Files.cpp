#include "util/Files.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "util/SeparatorLists.h"

#ifndef _WIN32
bool IsAnsiLeadByte(unsigned char) { return false; }
#endif

namespace {

// Marks the bytes that begin a character, so that the trail byte of a double-byte
// character (which may be 0x5C) is never taken for a backslash.
std::vector<char> CharStarts(const std::string& s, LeadByteTest isLead) {
  std::vector<char> starts(s.size(), 0);
  for (size_t i = 0; i < s.size();) {
    starts[i] = 1;
    i += (isLead && isLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
  }
  return starts;
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// Position of the last byte that starts a character and is one of delims; npos when none.
size_t LastDelimiter(const std::string& s, const char* delims, LeadByteTest isLead) {
  std::vector<char> starts = CharStarts(s, isLead);
  for (size_t i = s.size(); i-- > 0;)
    if (starts[i] && std::strchr(delims, s[i]) != nullptr) return i;
  return std::string::npos;
}

}  // namespace

// ---- path texts ------------------------------------------------------------------

bool EndsWithBackslash(const std::string& path, LeadByteTest isLead) {
  if (path.empty()) return false;
  std::vector<char> starts = CharStarts(path, isLead);
  return starts.back() && path.back() == '\\';
}

std::string SetTrailingBackslash(const std::string& path, bool fold, LeadByteTest isLead) {
  std::string r = path;
  if (r.empty()) return r;
  if (r.size() >= 3 && EndsWithBackslash(r, isLead)) r.pop_back();
  // Never a second one: "x\" with fold stays "x\".
  if (fold && !EndsWithBackslash(r, isLead)) r += '\\';
  return r;
}

std::string NoTrailingBackslash(const std::string& path, LeadByteTest isLead) {
  if (path == "\\") return std::string();
  std::string r = path;
  if (r.size() >= 2 && EndsWithBackslash(r, isLead)) r.pop_back();
  return r;
}

std::string CollapseBackslashes(const std::string& path, bool noTrailing, LeadByteTest isLead) {
  std::string s = path;
  if (s.size() > 2) {
    const char first = s[0];
    const char last = s.back();
    std::vector<char> starts = CharStarts(s, isLead);
    // Pairs (i - 1, i) inside the rest, from the end; s[0] is set aside.
    for (size_t i = s.size() - 1; i >= 2; --i) {
      if (s[i] != '\\' || s[i - 1] != '\\' || !starts[i] || !starts[i - 1]) continue;
      // A quoted UNC start ("\\srv...") keeps its pair.
      const bool keep = first == last && starts[i - 2] && s[i - 2] == first;
      if (!keep) {
        s.erase(i, 1);
        starts.erase(starts.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  }
  return noTrailing ? NoTrailingBackslash(s, isLead) : s;
}

std::string FileBaseName(const std::string& path, bool allExtensions, LeadByteTest isLead) {
  size_t sep = LastDelimiter(path, "\\/:", isLead);
  std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
  std::vector<char> starts = CharStarts(name, isLead);
  size_t dot = std::string::npos;
  for (size_t i = 0; i < name.size(); ++i) {
    if (starts[i] && name[i] == '.') {
      dot = i;
      if (allExtensions) break;
    }
  }
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string FilePrefixOf(const std::string& path, LeadByteTest isLead) {
  size_t sep = LastDelimiter(path, "\\/:", isLead);
  return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
}

bool IsDriveOrShareRoot(const std::string& path) {
  std::string s = ReplaceChar(path, '/', '\\');
  while (!s.empty() && s.back() == '\\') s.pop_back();
  if (s.empty()) return true;  // "" and "\" both mean the current drive's root
  if (s.size() == 2 && IsAsciiLetter(s[0]) && s[1] == ':') return true;
  if (StartsWith("\\\\?\\", s) || StartsWith("\\\\.\\", s)) return IsDriveOrShareRoot(s.substr(4));
  if (StartsWith("\\\\", s)) {
    // "\\server" or "\\server\share": no folder of its own below the share.
    size_t server = s.find('\\', 2);
    if (server == std::string::npos) return true;
    return s.find('\\', server + 1) == std::string::npos;
  }
  return false;
}

// ---- writes ------------------------------------------------------------------------

int64_t WriteChunkSize(int64_t total) {
  if (total <= 0) return 0;
  int64_t chunk = total / kWriteChunkDivisor;
  if (chunk > kWriteChunkMin) return std::min(chunk, kWriteChunkCap);
  return std::min(kWriteChunkMin, total);
}

bool WriteGoesInChunks(int64_t total, bool hasCallback) {
  return hasCallback || total > kWriteChunkCap;
}

int64_t WriteInChunks(const char* data, int64_t total, const FileProgress& progress,
                      const ChunkWriter& write) {
  bool cancel = false;
  if (progress) progress(0, total, 0, cancel);
  if (total <= 0 || !data || !write) return 0;
  const int64_t chunk = WriteChunkSize(total);
  int64_t done = 0;
  int64_t wrote = 0;
  // The first chunk goes out even when the first call asked to cancel.
  do {
    wrote = write(data + done, std::min(chunk, total - done));
    if (wrote <= 0) break;
    done += std::min(wrote, total - done);
    if (progress) progress(1, total, done, cancel);
  } while (done < total && !cancel);
  return done;
}

// ---- free space, drives, searches ----------------------------------------------------------

std::vector<std::string> DiskFreeQueryPaths(const std::string& path) {
  std::vector<std::string> out;
  std::string s = ReplaceChar(path, '/', '\\');
  if (s.empty()) return out;
  if (StartsWith("\\\\", s)) {
    // UNC: the space is that of the share; the call wants "\\server\share\".
    size_t server = s.find('\\', 2);
    if (server == std::string::npos || server == 2) return out;
    size_t share = s.find('\\', server + 1);
    std::string root = share == std::string::npos ? s : s.substr(0, share);
    if (root.size() <= server + 1) return out;
    out.push_back(root + "\\");
    return out;
  }
  // The first-level folder: up to the first backslash from the fourth character on.
  size_t cut = s.size() > 3 ? s.find('\\', 3) : std::string::npos;
  out.push_back(cut == std::string::npos ? s : s.substr(0, cut));
  if (char letter = DriveLetterOf(s)) {
    std::string root = std::string(1, letter) + ":\\";
    if (!SameText(out.front(), root)) out.push_back(root);
  }
  return out;
}

char DriveLetterOf(const std::string& path) {
  if (path.size() < 2 || !IsAsciiLetter(path[0]) || path[1] != ':') return 0;
  return UpperAscii(path[0]);
}

std::string SearchNameOf(const std::string& name) {
  std::string s = ReplaceChar(name, '/', '\\');
  size_t from = s.find_first_not_of('\\');
  if (from == std::string::npos) return std::string();
  size_t to = s.find_last_not_of('\\');
  s = s.substr(from, to - from + 1);
  if (s.find_first_of(std::string("*?:<>|\"\0", 8)) != std::string::npos) return std::string();
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find('\\', start);
    if (end == std::string::npos) end = s.size();
    std::string part = s.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return std::string();
    start = end + 1;
  }
  return s;
}

// ---- self-deletion batch -------------------------------------------------------------

std::string SelfDeleteBatchName(const std::string& tempDir, int attempt) {
  std::string name = attempt <= 0 ? "_DEL_ME_.BAT" : "_DEL_ME_" + IntToStr(attempt) + ".BAT";
  return tempDir + name;
}

namespace {

bool BatchCanCarry(const std::string& path) {
  return !path.empty() && path.find_first_of(std::string("\"\r\n\0", 4)) == std::string::npos;
}

// A path as a batch line argument: quoted, "%" doubled so that cmd does not expand it.
std::string BatchArg(const std::string& path) { return "\"" + ReplaceAll(path, "%", "%%") + "\""; }

}  // namespace

std::string BuildSelfDeleteBatch(const SelfDeleteBatch& b) {
  if (!BatchCanCarry(b.exePath) || !BatchCanCarry(b.batchPath) || !BatchCanCarry(b.systemDir))
    return std::string();
  if (b.removeFolder && !BatchCanCarry(b.folder)) return std::string();
  const int tries = std::clamp(b.tries, 1, 9999);
  const std::string sys = SetTrailingBackslash(b.systemDir, true, nullptr);
  const std::string exe = BatchArg(b.exePath);
  // Tools by full path: the batch runs in the temp folder, where anyone may plant an
  // ATTRIB.EXE or PING.EXE.
  const std::string attrib = BatchArg(sys + "ATTRIB.EXE");
  const std::string ping = BatchArg(sys + "PING.EXE");
  const std::string tryCount = IntToStr(tries);
  std::string t;
  // One appender for every line keeps the text's many pieces out of the code size.
  auto line = [&t](std::initializer_list<std::string_view> parts) {
    for (std::string_view part : parts) t.append(part);
    t.append("\r\n");
  };
  line({"@ECHO OFF"});
  line({"SET /A DELME_TRY=0"});
  line({":START"});
  line({attrib, " -R -S -H ", exe, " >NUL 2>NUL"});
  line({"DEL /F /Q ", exe, " >NUL 2>NUL"});
  line({"IF exist ", exe, " GOTO RETRY"});
  line({"GOTO DONE"});
  line({":RETRY"});
  line({"SET /A DELME_TRY=DELME_TRY+1"});
  line({"IF %DELME_TRY% GEQ ", tryCount, " GOTO DONE"});
  // About one second between tries.
  line({ping, " -n 2 127.0.0.1 >NUL"});
  line({"GOTO START"});
  line({":DONE"});
  if (b.removeFolder) {
    const std::string folder = BatchArg(b.folder);
    line({attrib, " -R ", folder, " >NUL 2>NUL"});
    line({"RD ", folder});
  }
  line({"DEL ", BatchArg(b.batchPath)});
  return t;
}

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
  for (char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127 || std::strchr("\\/:*?\"<>|", c) != nullptr) return false;
  }
  if (name.back() == '.' || name.back() == ' ') return false;
  // The system maps these names to devices whatever their extension, and ignores
  // blanks before the extension.
  std::string base = Trim(name.substr(0, name.find('.')));
  base = UpperCase(base);
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return false;
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0)) {
    const unsigned char digit = static_cast<unsigned char>(base[3]);
    // Superscript 1, 2, 3 of the ANSI code page count as digits there too.
    if ((digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3) return false;
  }
  return true;
}
