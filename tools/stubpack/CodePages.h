// Texts of language blocks between UTF-8 (language files, terminals, JSON) and the
// 8-bit Windows code page that the stub shows them in. The platform converts
// (glibc iconv on Linux, the Win32 NLS calls on Windows), so double-byte pages need
// no tables of our own; which bytes count as a character is decided here, alike on
// both, so that the Linux and the Windows stubpack write and list the same bytes.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

// ISO-8859-1: every byte is the character of the same number. Charsets without a
// code page of their own are read and written as Latin-1.
constexpr unsigned kLatin1CodePage = 28591;
// What a byte shows as when it begins no character of the code page.
constexpr char32_t kReplacementCharacter = 0xFFFD;

// The code page of a font charset: 0 → 1252, 177 → 1255, 178 → 1256, 204 → 1251,
// 161 → 1253, 162 → 1254, 238 → 1250, 186 → 1257, 222 → 874, 128 → 932,
// 134 → 936, 129 → 949, 136 → 950; any other charset → Latin-1.
unsigned CodePageOfCharset(int charset);

// ---- UTF-8 --------------------------------------------------------------------
// Well-formed UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
bool IsUtf8(const std::string& text);
void AppendUtf8(std::string& out, char32_t c);
// The character at at (advanced past it); kReplacementCharacter and one byte on a
// sequence that is not well-formed.
char32_t NextUtf8(const std::string& text, size_t& at);
// "U+00FC (ü)": how error messages name a character.
std::string CharacterName(char32_t c);

// ---- the platform's converter -------------------------------------------------
// One code page as the platform knows it, asked one character at a time.
class PlatformCodePage {
 public:
  // Null when the platform does not know the code page.
  static std::unique_ptr<PlatformCodePage> Open(unsigned codePage);
  ~PlatformCodePage();
  PlatformCodePage(const PlatformCodePage&) = delete;
  PlatformCodePage& operator=(const PlatformCodePage&) = delete;

  // The one character that exactly the n bytes at p make; false when they make none.
  bool Decode(const char* p, size_t n, char32_t& c);
  // The bytes of c; false when the code page has no place for it (never a
  // look-alike or a default character).
  bool Encode(char32_t c, std::string& bytes);

  struct State;

 private:
  explicit PlatformCodePage(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// ---- a code page ----------------------------------------------------------------
// Control characters of C1 (U+0080–U+009F) and the private use area (U+E000–U+F8FF)
// are no characters of any code page here: Windows maps undefined bytes to them and
// glibc does not, and no language text needs them (Latin-1 keeps its C1 controls).
class CodePage {
 public:
  // Made once per number; null when the platform does not know the code page.
  static const CodePage* Find(unsigned number);

  unsigned Number() const { return number_; }
  bool IsDoubleByte() const { return platform_ != nullptr; }
  // UTF-8 of a text in this code page; a byte that begins no character becomes
  // U+FFFD, so the result is always well-formed.
  std::string ToUtf8(const std::string& text) const;
  // The text in this code page from well-formed UTF-8. False, with the first
  // character that has no place in the code page in misfit and the text up to it.
  bool FromUtf8(const std::string& utf8, std::string& text, char32_t& misfit) const;

 private:
  static constexpr char32_t kNone = 0xFFFFFFFF;
  explicit CodePage(unsigned number);
  bool DecodeAt(const std::string& text, size_t at, char32_t& c, size_t& length) const;
  bool EncodeOne(char32_t c, std::string& out) const;

  unsigned number_;
  // Single-byte pages and Latin-1: the character of every byte (kNone) and the way
  // back. Double-byte pages ask the platform.
  char32_t byteTable_[256];
  std::unordered_map<char32_t, uint8_t> reverse_;
  std::unique_ptr<PlatformCodePage> platform_;
  bool usable_ = false;
};
