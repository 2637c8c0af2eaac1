#include "folders/PathRules.h"

#include <cstddef>

namespace {

struct CanonicalPath {
  std::string root;                   // "C:" or "\\SRV\SHARE", upper case
  std::vector<std::string> segments;  // upper case, no "." or ".."
};

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The segments between backslashes, empty ones skipped.
std::vector<std::string> Split(const std::string& text, size_t from) {
  std::vector<std::string> parts;
  std::string part;
  for (size_t i = from; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part.push_back(Upper(text[i]));
    }
  }
  return parts;
}

// A name the system takes as written: it would drop trailing dots and blanks, and a
// ":" or a control character means a stream or no file name at all.
bool IsLiteralSegment(const std::string& s) {
  if (s.back() == '.' || s.back() == ' ') return false;
  for (char c : s)
    if (static_cast<unsigned char>(c) < 32 || c == ':') return false;
  return true;
}

bool Canonical(const std::string& input, CanonicalPath& out) {
  std::string p = input;
  for (char& c : p)
    if (c == '/') c = '\\';
  std::vector<std::string> parts;
  size_t keep = 0;  // leading parts that ".." cannot remove
  if (p.size() >= 2 && p[0] == '\\' && p[1] == '\\') {
    parts = Split(p, 2);
    if (parts.size() < 2) return false;
    for (size_t i = 0; i < 2; ++i)
      if (parts[i] == "." || parts[i] == ".." || parts[i] == "?" || !IsLiteralSegment(parts[i])) return false;
    out.root = "\\\\" + parts[0] + "\\" + parts[1];
    keep = 2;
  } else if (p.size() >= 3 && Upper(p[0]) >= 'A' && Upper(p[0]) <= 'Z' && p[1] == ':' && p[2] == '\\') {
    out.root = std::string(1, Upper(p[0])) + ":";
    parts = Split(p, 3);
  } else {
    return false;
  }
  out.segments.clear();
  for (size_t i = keep; i < parts.size(); ++i) {
    const std::string& s = parts[i];
    if (s == ".") continue;
    if (s == "..") {
      if (out.segments.empty()) return false;
      out.segments.pop_back();
      continue;
    }
    if (!IsLiteralSegment(s)) return false;
    out.segments.push_back(s);
  }
  return true;
}

}  // namespace

bool PathInsideFolders(const std::string& path, const std::vector<std::string>& folders) {
  CanonicalPath target;
  if (!Canonical(path, target)) return false;
  for (const std::string& folder : folders) {
    CanonicalPath f;
    if (!Canonical(folder, f) || f.root != target.root || f.segments.size() >= target.segments.size())
      continue;
    bool prefix = true;
    for (size_t i = 0; i < f.segments.size() && prefix; ++i) prefix = f.segments[i] == target.segments[i];
    if (prefix) return true;
  }
  return false;
}
