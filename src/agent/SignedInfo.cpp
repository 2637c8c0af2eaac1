#include "agent/SignedInfo.h"

#include <cstring>
#include <string_view>

namespace {

constexpr char kSectionLine[] = "[Signature]";
constexpr char kValuePrefix[] = "Value=";

// The SubjectPublicKeyInfo of every P-256 key up to its point: SEQUENCE { SEQUENCE {
// id-ecPublicKey, prime256v1 }, BIT STRING of 66 bytes with no unused bits }.
constexpr uint8_t kP256SpkiPrefix[26] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2A, 0x86, 0x48,
                                         0xCE, 0x3D, 0x02, 0x01, 0x06, 0x08, 0x2A, 0x86, 0x48,
                                         0xCE, 0x3D, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};
constexpr uint8_t kUncompressedPoint = 0x04;

// The order n of the P-256 group: r and s lie in 1 .. n-1.
constexpr uint8_t kP256Order[32] = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,
                                    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xBC, 0xE6, 0xFA, 0xAD, 0xA7, 0x17,
                                    0x9E, 0x84, 0xF3, 0xB9, 0xCA, 0xC2, 0xFC, 0x63, 0x25, 0x51};

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view Trimmed(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = char(x - 32);
    if (y >= 'a' && y <= 'z') y = char(y - 32);
    if (x != y) return false;
  }
  return true;
}

// How an INI reader takes a line: a section when, trimmed, it starts with "[" and
// holds a "]"; a key when it is anything else but blank or a ";" comment.
enum class LineKind { Blank, Section, Key };

LineKind KindOf(std::string_view line, std::string_view* sectionName = nullptr) {
  std::string_view body = Trimmed(line);
  if (body.empty() || body[0] == ';') return LineKind::Blank;
  size_t close = body[0] == '[' ? body.find(']') : std::string_view::npos;
  if (close == std::string_view::npos) return LineKind::Key;
  if (sectionName) *sectionName = Trimmed(body.substr(1, close - 1));
  return LineKind::Section;
}

bool IsSignatureSection(std::string_view line) {
  std::string_view name;
  return KindOf(line, &name) == LineKind::Section && SameLetters(name, "Signature");
}

// Lines of text from offset at on, split after each LF; each without its LF and
// without the CR of a CR LF.
template <typename Visit>
void ForEachLine(std::string_view text, size_t at, Visit visit) {
  while (at < text.size()) {
    size_t lf = text.find('\n', at);
    size_t end = lf == std::string_view::npos ? text.size() : lf;
    size_t contentEnd = (lf != std::string_view::npos && end > at && text[end - 1] == '\r') ? end - 1 : end;
    if (!visit(at, text.substr(at, contentEnd - at), lf != std::string_view::npos)) return;
    at = lf == std::string_view::npos ? text.size() : lf + 1;
  }
}

// Compares two 32-byte big-endian numbers.
int Compare32(const uint8_t* a, const uint8_t* b) { return std::memcmp(a, b, 32); }

bool InSignatureRange(const uint8_t* number) {
  static const uint8_t zero[32] = {};
  return Compare32(number, zero) != 0 && Compare32(number, kP256Order) < 0;
}

// One minimal DER INTEGER (short length) of a value 1 .. n-1, as 32 bytes.
bool ReadInteger(const uint8_t*& p, const uint8_t* end, uint8_t (&out)[32]) {
  if (end - p < 2 || p[0] != 0x02) return false;
  size_t length = p[1];
  p += 2;
  if (length == 0 || length > 33 || length > size_t(end - p)) return false;
  const uint8_t* value = p;
  p += length;
  if (value[0] & 0x80) return false;                                 // negative
  if (length > 1 && value[0] == 0 && !(value[1] & 0x80)) return false;  // not minimal
  if (value[0] == 0 && length > 1) {
    ++value;
    --length;
  }
  if (length > 32) return false;
  std::memset(out, 0, sizeof out);
  std::memcpy(out + 32 - length, value, length);
  return InSignatureRange(out);
}

void AppendInteger(std::string& der, const uint8_t* number) {
  size_t skip = 0;
  while (skip < 31 && number[skip] == 0) ++skip;
  bool pad = (number[skip] & 0x80) != 0;
  der += char(0x02);
  der += char(32 - skip + (pad ? 1 : 0));
  if (pad) der += char(0);
  der.append(reinterpret_cast<const char*>(number + skip), 32 - skip);
}

const uint8_t* Bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

}  // namespace

const char* SignedInfoErrorText(SignedInfoError error) {
  switch (error) {
    case SignedInfoError::None: return "";
    case SignedInfoError::TooLarge: return "the information file is larger than 1 MB";
    case SignedInfoError::NoSignature: return "the information file has no [Signature] section";
    case SignedInfoError::TwoSignatures: return "the information file has more than one [Signature] section";
    case SignedInfoError::SignatureLine:
      return "the [Signature] line does not read exactly \"[Signature]\" from the start of its line";
    case SignedInfoError::NotLast: return "[Signature] is not the last section";
    case SignedInfoError::NoValue: return "the line after [Signature] is not \"Value=\" with the signature";
    case SignedInfoError::SecondKey: return "[Signature] holds a key besides Value";
    case SignedInfoError::TrailingData: return "something follows the Value line of [Signature]";
    case SignedInfoError::BadBase64: return "the signature Value is not base64";
    case SignedInfoError::WrongLength: return "the signature Value is not 64 bytes long";
  }
  return "unknown error";
}

SignedInfoError SplitSignedInfo(const std::string& file, SignedInfoParts& parts) {
  parts = SignedInfoParts{};
  if (file.size() > kMaxSignedInfoSize) return SignedInfoError::TooLarge;
  const std::string_view text(file);

  // Every line an INI reader would take for the section counts, in any spelling.
  size_t sectionAt = 0, afterSection = 0, sections = 0;
  bool exact = false, sectionEnds = false;
  ForEachLine(text, 0, [&](size_t at, std::string_view line, bool hasLf) {
    if (IsSignatureSection(line)) {
      if (++sections == 1) {
        sectionAt = at;
        afterSection = at + line.size() + (hasLf ? (text[at + line.size()] == '\r' ? 2 : 1) : 0);
        exact = line == kSectionLine;
        sectionEnds = hasLf;
      }
    }
    return true;
  });
  if (sections == 0) return SignedInfoError::NoSignature;
  if (sections > 1) return SignedInfoError::TwoSignatures;
  if (!exact) return SignedInfoError::SignatureLine;

  // The Value line right after the section line.
  std::string_view valueLine;
  size_t afterValue = text.size();
  bool haveValueLine = false;
  if (sectionEnds) {
    ForEachLine(text, afterSection, [&](size_t at, std::string_view line, bool hasLf) {
      valueLine = line;
      haveValueLine = true;
      afterValue = hasLf ? text.find('\n', at) + 1 : text.size();
      return false;
    });
  }
  if (!haveValueLine || valueLine.substr(0, sizeof kValuePrefix - 1) != kValuePrefix) {
    if (haveValueLine && KindOf(valueLine) == LineKind::Section) return SignedInfoError::NotLast;
    return SignedInfoError::NoValue;
  }
  // Then nothing: what follows is told apart for the message only.
  if (afterValue < text.size()) {
    bool section = false, key = false;
    ForEachLine(text, afterValue, [&](size_t, std::string_view line, bool) {
      LineKind kind = KindOf(line);
      section = section || kind == LineKind::Section;
      key = key || kind == LineKind::Key;
      return true;
    });
    return section ? SignedInfoError::NotLast : key ? SignedInfoError::SecondKey : SignedInfoError::TrailingData;
  }

  std::string signature;
  if (!Base64Decode(std::string(valueLine.substr(sizeof kValuePrefix - 1)), signature))
    return SignedInfoError::BadBase64;
  if (signature.size() != kRawSignatureSize) return SignedInfoError::WrongLength;
  parts.signedBytes = file.substr(0, sectionAt);
  parts.signature = std::move(signature);
  return SignedInfoError::None;
}

std::string SignatureSection(const std::string& rawSignature) {
  return std::string(kSectionLine) + "\r\n" + kValuePrefix + Base64Encode(rawSignature) + "\r\n";
}

std::string Base64Encode(const std::string& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  const uint8_t* b = Bytes(bytes);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = uint32_t(b[i]) << 16 | uint32_t(b[i + 1]) << 8 | b[i + 2];
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += kBase64[v & 63];
  }
  size_t left = bytes.size() - i;
  if (left > 0) {
    uint32_t v = uint32_t(b[i]) << 16 | (left == 2 ? uint32_t(b[i + 1]) << 8 : 0);
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += left == 2 ? kBase64[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool Base64Decode(const std::string& text, std::string& bytes) {
  bytes.clear();
  if (text.size() % 4 != 0) return false;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int pad = 0;
    if (last && text[i + 3] == '=') pad = text[i + 2] == '=' ? 2 : 1;
    int v[4] = {};
    for (int k = 0; k < 4 - pad; ++k)
      if ((v[k] = Base64Value(text[i + k])) < 0) return false;
    uint32_t n = uint32_t(v[0]) << 18 | uint32_t(v[1]) << 12 | uint32_t(v[2]) << 6 | uint32_t(v[3]);
    // The bits a padded group leaves unused must be zero: one text per byte string.
    if ((pad == 1 && (n & 0xFF)) || (pad == 2 && (n & 0xFFFF))) return false;
    out += char(n >> 16);
    if (pad < 2) out += char((n >> 8) & 0xFF);
    if (pad < 1) out += char(n & 0xFF);
  }
  bytes = std::move(out);
  return true;
}

bool SignatureDerToRaw(const std::string& der, std::string& raw) {
  raw.clear();
  // SEQUENCE, short length (at most 2 * 35 bytes), exactly the whole input.
  if (der.size() < 8 || der.size() > 72) return false;
  const uint8_t* p = Bytes(der);
  const uint8_t* end = p + der.size();
  if (p[0] != 0x30 || p[1] != der.size() - 2) return false;
  p += 2;
  uint8_t r[32], s[32];
  if (!ReadInteger(p, end, r) || !ReadInteger(p, end, s) || p != end) return false;
  raw.assign(reinterpret_cast<const char*>(r), 32);
  raw.append(reinterpret_cast<const char*>(s), 32);
  return true;
}

bool SignatureRawToDer(const std::string& raw, std::string& der) {
  der.clear();
  if (raw.size() != kRawSignatureSize) return false;
  const uint8_t* r = Bytes(raw);
  if (!InSignatureRange(r) || !InSignatureRange(r + 32)) return false;
  std::string body;
  AppendInteger(body, r);
  AppendInteger(body, r + 32);
  der = std::string(1, char(0x30)) + char(body.size()) + body;
  return true;
}

bool SpkiToP256Point(const std::string& spki, std::string& point) {
  point.clear();
  if (spki.size() != kP256SpkiSize || std::memcmp(spki.data(), kP256SpkiPrefix, sizeof kP256SpkiPrefix) != 0 ||
      uint8_t(spki[sizeof kP256SpkiPrefix]) != kUncompressedPoint)
    return false;
  point = spki.substr(sizeof kP256SpkiPrefix + 1);
  return true;
}

std::string P256PointToSpki(const std::string& point) {
  if (point.size() != kP256PointSize) return "";
  return std::string(reinterpret_cast<const char*>(kP256SpkiPrefix), sizeof kP256SpkiPrefix) +
         char(kUncompressedPoint) + point;
}

std::string HexOf(const std::string& bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

std::string NormalizeSha256Hex(const std::string& text) {
  if (text.size() != 2 * kSha256Size) return "";
  std::string out = text;
  for (char& c : out) {
    if (c >= 'A' && c <= 'F') c = char(c + 32);
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return "";
  }
  return out;
}
