#include "CodePages.h"

#include <cstdio>
#include <map>

unsigned CodePageOfCharset(int charset) {
  switch (charset) {
    case 0: return 1252;
    case 177: return 1255;
    case 178: return 1256;
    case 204: return 1251;
    case 161: return 1253;
    case 162: return 1254;
    case 238: return 1250;
    case 186: return 1257;
    case 222: return 874;
    case 128: return 932;
    case 134: return 936;
    case 129: return 949;
    case 136: return 950;
    default: return kLatin1CodePage;
  }
}

// ---- UTF-8 --------------------------------------------------------------------

namespace {

// One character of UTF-8; false (at unchanged) when the bytes there are not well-formed.
bool DecodeUtf8(const std::string& text, size_t& at, char32_t& c) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char b = byte(at);
  if (b < 0x80) return c = b, ++at, true;
  size_t length = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
  if (length == 0 || text.size() - at < length) return false;
  c = b & (0xFF >> (length + 1));
  for (size_t i = 1; i < length; ++i) {
    unsigned char t = byte(at + i);
    if ((t & 0xC0) != 0x80) return false;
    c = c << 6 | (t & 0x3F);
  }
  static const char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kShortest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
  at += length;
  return true;
}

}  // namespace

char32_t NextUtf8(const std::string& text, size_t& at) {
  char32_t c;
  if (DecodeUtf8(text, at, c)) return c;
  ++at;
  return kReplacementCharacter;
}

bool IsUtf8(const std::string& text) {
  char32_t c;
  for (size_t at = 0; at < text.size();)
    if (!DecodeUtf8(text, at, c)) return false;
  return true;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += char(c);
  } else if (c < 0x800) {
    out += char(0xC0 | c >> 6);
    out += char(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += char(0xE0 | c >> 12);
    out += char(0x80 | (c >> 6 & 0x3F));
    out += char(0x80 | (c & 0x3F));
  } else {
    out += char(0xF0 | c >> 18);
    out += char(0x80 | (c >> 12 & 0x3F));
    out += char(0x80 | (c >> 6 & 0x3F));
    out += char(0x80 | (c & 0x3F));
  }
}

std::string CharacterName(char32_t c) {
  char b[16];
  std::snprintf(b, sizeof b, "U+%04X", unsigned(c));
  std::string name = b;
  if (c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0)) {
    name += " (";
    AppendUtf8(name, c);
    name += ")";
  }
  return name;
}

// ---- a code page ----------------------------------------------------------------

namespace {

bool IsDoubleBytePage(unsigned number) { return number == 932 || number == 936 || number == 949 || number == 950; }

// See the class comment: what one platform maps undefined bytes to.
bool CountsAsCharacter(char32_t c) {
  return !(c >= 0x80 && c <= 0x9F) && !(c >= 0xE000 && c <= 0xF8FF) && !(c >= 0xD800 && c <= 0xDFFF) &&
         c != kReplacementCharacter && c <= 0x10FFFF;
}

}  // namespace

CodePage::CodePage(unsigned number) : number_(number) {
  for (char32_t& c : byteTable_) c = kNone;
  if (number == kLatin1CodePage) {
    for (unsigned b = 0; b < 256; ++b) byteTable_[b] = b, reverse_[b] = uint8_t(b);
    usable_ = true;
    return;
  }
  std::unique_ptr<PlatformCodePage> platform = PlatformCodePage::Open(number);
  if (!platform) return;
  usable_ = true;
  if (IsDoubleBytePage(number)) {
    platform_ = std::move(platform);
    return;
  }
  for (unsigned b = 0; b < 256; ++b) {
    char byte = char(b);
    char32_t c;
    if (!platform->Decode(&byte, 1, c) || !CountsAsCharacter(c)) continue;
    byteTable_[b] = c;
    reverse_.emplace(c, uint8_t(b));  // the first byte of a character wins
  }
}

const CodePage* CodePage::Find(unsigned number) {
  static std::map<unsigned, std::unique_ptr<CodePage>> pages;
  auto it = pages.find(number);
  if (it == pages.end()) it = pages.emplace(number, std::unique_ptr<CodePage>(new CodePage(number))).first;
  return it->second->usable_ ? it->second.get() : nullptr;
}

bool CodePage::DecodeAt(const std::string& text, size_t at, char32_t& c, size_t& length) const {
  if (!platform_) {
    c = byteTable_[static_cast<unsigned char>(text[at])];
    length = 1;
    return c != kNone;
  }
  for (length = 1; length <= 2 && at + length <= text.size(); ++length)
    if (platform_->Decode(text.data() + at, length, c)) return CountsAsCharacter(c);
  return false;
}

bool CodePage::EncodeOne(char32_t c, std::string& out) const {
  if (!platform_) {
    auto it = reverse_.find(c);
    if (it == reverse_.end()) return false;
    out += char(it->second);
    return true;
  }
  // The platform's bytes must read back as exactly this character: glibc writes
  // some characters as a look-alike or as a letter plus a combining mark.
  std::string bytes;
  char32_t back;
  size_t length;
  if (!CountsAsCharacter(c) || !platform_->Encode(c, bytes) || bytes.empty() || bytes.size() > 2 ||
      !DecodeAt(bytes, 0, back, length) || back != c || length != bytes.size())
    return false;
  out += bytes;
  return true;
}

std::string CodePage::ToUtf8(const std::string& text) const {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    char32_t c;
    size_t length;
    if (DecodeAt(text, at, c, length)) {
      AppendUtf8(out, c);
      at += length;
    } else {
      AppendUtf8(out, kReplacementCharacter);
      ++at;
    }
  }
  return out;
}

bool CodePage::FromUtf8(const std::string& utf8, std::string& text, char32_t& misfit) const {
  text.clear();
  for (size_t at = 0; at < utf8.size();) {
    char32_t c = NextUtf8(utf8, at);
    if (!EncodeOne(c, text)) {
      misfit = c;
      return false;
    }
  }
  return true;
}
