// The builder's code pages (glibc iconv natively, the Win32 calls under Wine: the
// same expectations hold for both), UTF-8 language files, and listings in UTF-8.
#include "CodePages.h"

#include <gtest/gtest.h>

#include "PackageLister.h"
#include "PackageWriter.h"
#include "support/TestFiles.h"
#include "util/SeparatorLists.h"

namespace {

const CodePage& PageOf(int charset) {
  const CodePage* page = CodePage::Find(CodePageOfCharset(charset));
  EXPECT_NE(page, nullptr) << "charset " << charset;
  return page ? *page : *CodePage::Find(kLatin1CodePage);
}

std::string Encoded(int charset, const std::string& utf8) {
  std::string text;
  char32_t misfit = 0;
  EXPECT_TRUE(PageOf(charset).FromUtf8(utf8, text, misfit)) << utf8 << ": " << CharacterName(misfit);
  return text;
}

// The character that does not fit, or 0 when everything does.
char32_t Misfit(int charset, const std::string& utf8) {
  std::string text;
  char32_t misfit = 0;
  return PageOf(charset).FromUtf8(utf8, text, misfit) ? 0 : misfit;
}

struct Letter {
  int charset;
  unsigned codePage;
  const char* utf8;
  const char* bytes;
};

// A letter of each script, at its place in the code page.
const Letter kLetters[] = {
    {0, 1252, "\xC3\xBC", "\xFC"},            // ü
    {0, 1252, "\xE2\x82\xAC", "\x80"},        // €
    {238, 1250, "\xC5\x99", "\xF8"},          // ř
    {204, 1251, "\xD0\x96", "\xC6"},          // Ж
    {161, 1253, "\xCE\xA9", "\xD9"},          // Ω
    {162, 1254, "\xC4\x9F", "\xF0"},          // ğ
    {177, 1255, "\xD7\x90", "\xE0"},          // א
    {177, 1255, "\xD6\xBA", "\xCA"},          // holam haser for vav, which glibc lacks
    {178, 1256, "\xD8\xB9", "\xDA"},          // ع
    {186, 1257, "\xC4\x85", "\xE0"},          // ą
    {222, 874, "\xE0\xB8\x81", "\xA1"},       // ก
    {128, 932, "\xE3\x82\xBB", "\x83\x5A"},   // セ
    {134, 936, "\xE4\xB8\xAD", "\xD6\xD0"},   // 中
    {129, 949, "\xED\x95\x9C", "\xC7\xD1"},   // 한
    {136, 950, "\xE4\xB8\xAD", "\xA4\xA4"},   // 中
};

}  // namespace

TEST(CodePages, CharsetsNameTheirCodePages) {
  for (const Letter& l : kLetters) EXPECT_EQ(CodePageOfCharset(l.charset), l.codePage) << l.charset;
  for (int other : {1, 2, 77, 130, 163, 255, -1, 1000}) EXPECT_EQ(CodePageOfCharset(other), kLatin1CodePage) << other;
}

TEST(CodePages, LettersGoBothWays) {
  for (const Letter& l : kLetters) {
    std::string utf8 = std::string("A") + l.utf8 + "z";
    std::string bytes = std::string("A") + l.bytes + "z";
    EXPECT_EQ(Encoded(l.charset, utf8), bytes) << "code page " << l.codePage;
    EXPECT_EQ(PageOf(l.charset).ToUtf8(bytes), utf8) << "code page " << l.codePage;
  }
}

TEST(CodePages, CharactersWithoutAPlaceAreNamed) {
  EXPECT_EQ(Misfit(204, "Gr\xC3\xBC\xC3\x9F" "e"), 0xFCu);  // ü is no Cyrillic letter
  EXPECT_EQ(Misfit(0, "\xD0\x96"), 0x416u);
  EXPECT_EQ(Misfit(0, "\xF0\x9F\x98\x80"), 0x1F600u);         // nothing above the BMP
  EXPECT_EQ(Misfit(136, "\xED\x95\x9C"), 0xD55Cu);            // Hangul in Big5
  // Look-alikes and compositions that a lenient converter would write.
  EXPECT_EQ(Misfit(128, "\xC2\xA5"), 0xA5u);                  // ¥ is not the backslash byte
  EXPECT_EQ(Misfit(177, "\xEF\xAC\xAE"), 0xFB2Eu);            // alef with patah, precomposed
  EXPECT_EQ(Misfit(0, "\xC5\x81"), 0x141u);                   // Ł is not L
  // What one platform maps undefined bytes to.
  EXPECT_EQ(Misfit(0, "\xC2\x81"), 0x81u);
  EXPECT_EQ(Misfit(129, "\xEE\x80\x80"), 0xE000u);
  EXPECT_EQ(CharacterName(0xFC), "U+00FC (\xC3\xBC)");
  EXPECT_EQ(CharacterName(0x1F600), "U+1F600 (\xF0\x9F\x98\x80)");
  EXPECT_EQ(CharacterName(0x81), "U+0081");
}

TEST(CodePages, UndefinedBytesShowAsReplacementCharacters) {
  const std::string kReplacement = "\xEF\xBF\xBD";
  EXPECT_EQ(PageOf(0).ToUtf8("a\x81" "b"), "a" + kReplacement + "b");
  EXPECT_EQ(PageOf(222).ToUtf8("\xDB"), kReplacement);
  EXPECT_EQ(PageOf(128).ToUtf8("x\x83"), "x" + kReplacement);            // a lead byte at the end
  EXPECT_EQ(PageOf(128).ToUtf8("\x85\x40"), kReplacement + "@");          // a pair that is no character
  EXPECT_EQ(PageOf(129).ToUtf8("\xC9\xA1"), kReplacement + kReplacement);  // the user-defined area
  // Whatever the bytes, the result is well-formed UTF-8.
  for (int charset : {0, 238, 204, 161, 162, 177, 178, 186, 222, 128, 134, 129, 136, 2}) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += char(b);
    for (int lead = 0x80; lead < 0x100; ++lead)
      for (int trail = 0; trail < 0x100; trail += 7) all += std::string{char(lead), char(trail)};
    EXPECT_TRUE(IsUtf8(PageOf(charset).ToUtf8(all))) << "charset " << charset;
  }
}

TEST(CodePages, EveryCharacterReadBackWritesTheSameCharacter) {
  for (int charset : {0, 238, 204, 161, 162, 177, 178, 186, 222}) {
    const CodePage& page = PageOf(charset);
    int characters = 0;
    for (int b = 0; b < 256; ++b) {
      std::string utf8 = page.ToUtf8(std::string(1, char(b)));
      if (utf8 == "\xEF\xBF\xBD") continue;
      ++characters;
      EXPECT_EQ(Encoded(charset, utf8), std::string(1, char(b))) << "code page " << page.Number() << " byte " << b;
    }
    EXPECT_GE(characters, 220) << "code page " << page.Number();
  }
  // Double-byte pages may give two byte pairs the same character: the way back
  // must at least lead to that character again.
  for (int charset : {128, 134, 129, 136}) {
    const CodePage& page = PageOf(charset);
    int pairs = 0;
    for (int lead = 0x81; lead < 0xFF; ++lead)
      for (int trail = 0x40; trail < 0xFF; ++trail) {
        std::string utf8 = page.ToUtf8(std::string{char(lead), char(trail)});
        size_t at = 0;
        if (NextUtf8(utf8, at) == kReplacementCharacter || at != utf8.size()) continue;
        ++pairs;
        std::string bytes;
        char32_t misfit;
        ASSERT_TRUE(page.FromUtf8(utf8, bytes, misfit)) << page.Number() << " " << lead << "/" << trail;
        ASSERT_EQ(page.ToUtf8(bytes), utf8) << page.Number() << " " << lead << "/" << trail;
      }
    EXPECT_GE(pairs, 7000) << "code page " << page.Number();
  }
}

TEST(CodePages, Latin1TakesEveryByte) {
  const CodePage& latin1 = PageOf(2);
  std::string all;
  for (int b = 0; b < 256; ++b) all += char(b);
  std::string utf8 = latin1.ToUtf8(all);
  EXPECT_EQ(utf8.size(), 128u + 2 * 128u);
  EXPECT_EQ(utf8.find("\xEF\xBF\xBD"), std::string::npos);
  EXPECT_EQ(Encoded(2, utf8), all);
  EXPECT_EQ(Misfit(2, "\xC4\x80"), 0x100u);
}

TEST(Utf8, OnlyWellFormedTextCounts) {
  EXPECT_TRUE(IsUtf8(""));
  EXPECT_TRUE(IsUtf8("plain"));
  EXPECT_TRUE(IsUtf8("\xE2\x82\xAC \xEF\xBF\xBD \xF4\x8F\xBF\xBF"));
  EXPECT_FALSE(IsUtf8("dr\xFC" "cken"));         // Windows-1252
  EXPECT_FALSE(IsUtf8("\xC0\xAF"));              // overlong
  EXPECT_FALSE(IsUtf8("\xE0\x80\xAF"));          // overlong
  EXPECT_FALSE(IsUtf8("\xED\xA0\x80"));          // a surrogate
  EXPECT_FALSE(IsUtf8("\xF4\x90\x80\x80"));      // above U+10FFFF
  EXPECT_FALSE(IsUtf8("\xE2\x82"));              // cut short
  EXPECT_FALSE(IsUtf8("\x80"));
  std::string s = "\xE2\x82\xAC\xFFx";
  size_t at = 0;
  EXPECT_EQ(NextUtf8(s, at), 0x20ACu);
  EXPECT_EQ(NextUtf8(s, at), kReplacementCharacter);
  EXPECT_EQ(at, 4u);
  EXPECT_EQ(NextUtf8(s, at), char32_t('x'));
}

// ---- language files ------------------------------------------------------------

namespace {

// The demo's German block, as a UTF-8 editor writes it.
const char kGermanUtf8[] =
    "[German]\n"
    "s8=Bitte legen Sie <B>DISKETTE #<DISK_NUM></B> ein und dr\xC3\xBC" "cken Sie OK\n"
    "Confirm=Best\xC3\xA4tigen\n";
const char kRussianUtf8[] =
    "[Russian]\n"
    "s0=\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\n"  // Привет
    "Charset = 204\n";

std::string BlockOf(const std::string& list, const std::string& name) { return ChooseLanguageBlock(list, name); }

}  // namespace

TEST(LanguageFiles, Utf8IsWrittenInEachBlocksCodePage) {
  std::string list, error;
  ASSERT_TRUE(LanguageListFromText(std::string(kGermanUtf8) + kRussianUtf8, list, error)) << error;
  std::string german = BlockOf(list, "German"), russian = BlockOf(list, "Russian");
  EXPECT_EQ(SUB::Value(german, "s8"), "Bitte legen Sie <B>DISKETTE #<DISK_NUM></B> ein und dr\xFC" "cken Sie OK");
  EXPECT_EQ(SUB::Value(german, "Confirm"), "Best\xE4tigen");
  EXPECT_EQ(SUB::Value(russian, "s0"), "\xCF\xF0\xE8\xE2\xE5\xF2");
}

TEST(LanguageFiles, BomIsDroppedAndAsciiIsTheSameEitherWay) {
  std::string plain, withBom, error;
  ASSERT_TRUE(LanguageListFromText(kGermanUtf8, plain, error)) << error;
  ASSERT_TRUE(LanguageListFromText(std::string("\xEF\xBB\xBF") + kGermanUtf8, withBom, error)) << error;
  EXPECT_EQ(withBom, plain);
  EXPECT_EQ(SUB::Item(SUB::Item(withBom, 0), 0), "German");
  // One 8-bit byte in a comment makes the same blocks a file of old.
  std::string ascii = "[English]\ns0=Hello <B>you</B>\nCharset=0\n", asUtf8, asBytes;
  ASSERT_TRUE(LanguageListFromText(ascii, asUtf8, error)) << error;
  ASSERT_TRUE(LanguageListFromText("; \xFF\n" + ascii, asBytes, error)) << error;
  EXPECT_EQ(asUtf8, asBytes);
  EXPECT_EQ(SUB::Value(BlockOf(asUtf8, "English"), "s0"), "Hello <B>you</B>");
}

TEST(LanguageFiles, EightBitFilesAreTakenByteForByte) {
  // The demo's file of old, in Windows-1252, and a Cyrillic file in Windows-1251.
  std::string list, error;
  ASSERT_TRUE(LanguageListFromText("[German]\nConfirm=Best\xE4tigen\n[Russian]\nCharset=204\ns0=\xCF\xF0\xE8\n", list,
                                   error))
      << error;
  EXPECT_EQ(SUB::Value(BlockOf(list, "German"), "Confirm"), "Best\xE4tigen");
  EXPECT_EQ(SUB::Value(BlockOf(list, "Russian"), "s0"), "\xCF\xF0\xE8");
}

TEST(LanguageFiles, CharacterOutsideTheBlocksCodePageIsAnError) {
  std::string list = "unchanged", error;
  std::string text = std::string(kGermanUtf8) + kRussianUtf8 + "s1=Gr\xC3\xBC\xC3\x9F" "e\n";
  EXPECT_FALSE(LanguageListFromText(text, list, error));
  EXPECT_EQ(error, "language line 7: U+00FC (\xC3\xBC) does not fit block [Russian] (Charset 204, code page 1251)");
  // The euro is in 1252 but not in the Latin-1 of a charset without a code page.
  EXPECT_FALSE(LanguageListFromText("[Symbols]\nCharset=2\ns0=5 \xE2\x82\xAC\n", list, error));
  EXPECT_NE(error.find("line 3: U+20AC"), std::string::npos) << error;
  EXPECT_NE(error.find("[Symbols]"), std::string::npos) << error;
}

// ---- listings in UTF-8 -------------------------------------------------------------

namespace {

class Listing : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(dir.File("Stub.exe"), MakeStubImage(8192));
    WriteBytes(dir.File("data.txt"), "data");
    options.stubPath = dir.File("Stub.exe");
    options.outputPath = dir.File("setup.exe");
    options.fixedDate = 1796823930;
  }
  // A package with these language blocks and one file packed under name (bytes).
  PackageListing Make(const std::string& languages, const std::string& name) {
    std::string error;
    EXPECT_TRUE(LanguageListFromText(languages, options.languageList, error)) << error;
    options.files = {{dir.File("data.txt"), name, "", false, {}}};
    BuildResult result;
    EXPECT_TRUE(WritePackage(options, result, error)) << error;
    return ListPackage(options.outputPath);
  }
  TempDir dir;
  BuildOptions options;
};

}  // namespace

TEST_F(Listing, TextShowsEachBlockInItsCodePage) {
  PackageListing l = Make(std::string("[English]\nConfirm=Confirm\n") + kGermanUtf8 + kRussianUtf8 + "s2=a\x01z\n",
                          "Gr\xFC\xDF" "e.txt");
  EXPECT_EQ(l.textCodePage, 1252u);  // the English block's
  std::string text = FormatListingText(l);
  EXPECT_TRUE(IsUtf8(text));
  EXPECT_NE(text.find("  [German]  code page 1252\n"), std::string::npos) << text;
  EXPECT_NE(text.find("    s8=Bitte legen Sie <B>DISKETTE #<DISK_NUM></B> ein und dr\xC3\xBC" "cken Sie OK\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("    Confirm=Best\xC3\xA4tigen\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  [Russian]  code page 1251\n    s0=\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("    s2=a\xEF\xBF\xBDz\n"), std::string::npos) << "a control character goes: " << text;
  EXPECT_NE(text.find("  Gr\xC3\xBC\xC3\x9F" "e.txt\n"), std::string::npos) << text;

  std::string raw = FormatListingText(l, ListingTexts::Raw);
  EXPECT_NE(raw.find("ein und dr\xFC" "cken Sie OK\n"), std::string::npos);
  EXPECT_NE(raw.find("    s0=\xCF\xF0\xE8\xE2\xE5\xF2\n"), std::string::npos);
  EXPECT_NE(raw.find("s2=a\x01z"), std::string::npos);
}

TEST_F(Listing, JsonIsUtf8WithControlCharactersEscaped) {
  PackageListing l = Make(std::string(kRussianUtf8) + "s1=tab\there, bell\x07, quote \"\n", "\xC6.txt");
  EXPECT_EQ(l.textCodePage, 1251u);  // the only block's
  std::string json = FormatListingJson(l);
  EXPECT_TRUE(IsUtf8(json));
  EXPECT_NE(json.find("\"language\":\"Russian\",\"codePage\":1251,\"items\":[\"s0=\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5"
                      "\xD1\x82\",\"Charset = 204\",\"s1=tab\\u0009here, bell\\u0007, quote \\\"\"]"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"name\":\"\xD0\x96.txt\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"textCodePage\":1251"), std::string::npos) << json;
  std::string raw = FormatListingJson(l, ListingTexts::Raw);
  EXPECT_NE(raw.find("\"s0=\\u00cf\\u00f0\\u00e8\\u00e2\\u00e5\\u00f2\""), std::string::npos) << raw;
}

TEST_F(Listing, NamesOutsideTheBlocksFallBackTo1252) {
  // Neither an English block nor an only one: the stub's choice on an English
  // system is no block at all.
  PackageListing l = Make("[Russian]\nCharset=204\n[Greek]\nCharset=161\n", "\xC6.txt");
  EXPECT_EQ(l.textCodePage, 1252u);
  EXPECT_NE(FormatListingText(l).find("  \xC3\x86.txt\n"), std::string::npos);  // Æ
  EXPECT_EQ(Make("", "a.txt").textCodePage, 1252u);
}

TEST_F(Listing, UndefinedBytesAndUnknownCharsets) {
  // Written byte for byte: 0x81 is no character of 1252; charset 2 reads as Latin-1,
  // whose C1 controls are no text for a terminal.
  PackageListing l = Make("[English]\ns0=x\x81y\n[Symbol]\nCharset=2\ns0=\xA9\x85\n", "plain.txt");
  std::string text = FormatListingText(l);
  EXPECT_TRUE(IsUtf8(text));
  EXPECT_NE(text.find("    s0=x\xEF\xBF\xBDy\n"), std::string::npos) << text;
  EXPECT_NE(text.find("  [Symbol]  code page 28591\n    Charset=2\n    s0=\xC2\xA9\xEF\xBF\xBD\n"), std::string::npos)
      << text;
  std::string json = FormatListingJson(l);
  EXPECT_TRUE(IsUtf8(json));
  EXPECT_NE(json.find("\"s0=\xC2\xA9\\u0085\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"s0=x\xEF\xBF\xBDy\""), std::string::npos) << json;
}
