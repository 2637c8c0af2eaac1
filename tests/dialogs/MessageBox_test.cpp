#include "dialogs/MessageBox.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Ranges = std::vector<BoldRange>;

TEST(MsgBoxMarkup, ParagraphsTabsAndOneBoldWord) {
  MarkedText m = ParseMarkup("Hello<P>the <B>bold</B> word");
  EXPECT_EQ(m.text, "Hello\r\nthe bold word");
  EXPECT_EQ(m.bold, (Ranges{{11, 15}}));
  EXPECT_EQ(ParseMarkup("a<t>b<p>c").text, "a\tb\r\nc");  // tags in any case
}

TEST(MsgBoxMarkup, HeadingOfTheShortcuts) {
  // "<<b>" loses its first "<"; positions count CR LF as two characters.
  MarkedText m = ParseMarkup("<<b>ERROR</b><P><P>Disk full<P>");
  EXPECT_EQ(m.text, "ERROR\r\n\r\nDisk full\r\n");
  EXPECT_EQ(m.bold, (Ranges{{0, 5}}));
  // Only at the start: elsewhere "<<b>" is a "<" and an opening tag.
  MarkedText inner = ParseMarkup("x<<b>y</b>");
  EXPECT_EQ(inner.text, "x<y");
  EXPECT_EQ(inner.bold, (Ranges{{2, 3}}));
}

TEST(MsgBoxMarkup, StrayAndUnclosedTagsBoldNothing) {
  MarkedText unclosed = ParseMarkup("one <B>two three");
  EXPECT_EQ(unclosed.text, "one two three");
  EXPECT_TRUE(unclosed.bold.empty());
  MarkedText before = ParseMarkup("a</B>b<B>c");
  EXPECT_EQ(before.text, "abc");
  EXPECT_TRUE(before.bold.empty());
  // A stray closing tag does not swallow a later pair.
  MarkedText later = ParseMarkup("</B>x<B>y</B>z");
  EXPECT_EQ(later.text, "xyz");
  EXPECT_EQ(later.bold, (Ranges{{1, 2}}));
  EXPECT_TRUE(ParseMarkup("<B></B>").bold.empty());
}

TEST(MsgBoxMarkup, NestedAndRepeatedRangesUseFinalPositions) {
  MarkedText nested = ParseMarkup("<B>a<B>b</B>c</B>d");
  EXPECT_EQ(nested.text, "abcd");
  EXPECT_EQ(nested.bold, (Ranges{{0, 2}}));
  MarkedText two = ParseMarkup("<b>A</b><P><B>BB</B>");
  EXPECT_EQ(two.text, "A\r\nBB");
  EXPECT_EQ(two.bold, (Ranges{{0, 1}, {3, 5}}));
}

TEST(MsgBoxMarkup, PartialTagsStayText) {
  EXPECT_EQ(ParseMarkup("a <b or <P").text, "a <b or <P");
  EXPECT_EQ(ParseMarkup("<").text, "<");
  EXPECT_EQ(ParseMarkup("").text, "");
}

TEST(MsgBoxMarkup, BackslashesStayAsTheyAre) {
  // Escapes belong to language strings: an inserted path shows as it is.
  EXPECT_EQ(ParseMarkup("C:\\Users\\nina\\temp").text, "C:\\Users\\nina\\temp");
}

TEST(MsgBoxButtons, SetsResultsAndDefaults) {
  auto results = [](uint32_t flags) {
    std::vector<int> r;
    for (const BoxButton& b : ButtonSet(flags)) r.push_back(b.result);
    return r;
  };
  EXPECT_EQ(results(0), (std::vector<int>{1}));
  EXPECT_EQ(results(1), (std::vector<int>{1, 2}));
  EXPECT_EQ(results(2), (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(results(3), (std::vector<int>{6, 7, 2}));
  EXPECT_EQ(results(4), (std::vector<int>{6, 7}));
  EXPECT_EQ(results(5), (std::vector<int>{4, 2}));
  EXPECT_TRUE(ButtonSet(6).empty());
  EXPECT_TRUE(ButtonSet(0xF).empty());
  // Captions are items of the button list: Yes/No/Cancel are items 2, 3, 1.
  std::vector<BoxButton> ync = ButtonSet(3);
  EXPECT_EQ(ync[0].captionIndex, 2);
  EXPECT_EQ(ync[1].captionIndex, 3);
  EXPECT_EQ(ync[2].captionIndex, 1);
  // Only the low four bits choose the set.
  EXPECT_EQ(results(0x52024), (std::vector<int>{6, 7}));

  EXPECT_EQ(DefaultButtonIndex(0x200, 3), 2);  // MB_DEFBUTTON3 on Yes/No/Cancel
  EXPECT_EQ(DefaultButtonIndex(0x300, 3), 0);  // modulo the count
  EXPECT_EQ(DefaultButtonIndex(0x100, 1), 0);
  EXPECT_EQ(DefaultButtonIndex(0x100, 0), -1);  // no buttons: no default, no division
  EXPECT_EQ(TimeoutResult(ButtonSet(4)), 6);
  EXPECT_EQ(TimeoutResult(ButtonSet(7)), 0);
}

TEST(MsgBoxButtons, Icons) {
  EXPECT_EQ(IconOf(0x10), BoxIcon::Hand);
  EXPECT_EQ(IconOf(0x24), BoxIcon::Question);
  EXPECT_EQ(IconOf(0x30), BoxIcon::Exclamation);
  EXPECT_EQ(IconOf(0x40), BoxIcon::Asterisk);
  EXPECT_EQ(IconOf(0x00), BoxIcon::Program);
  EXPECT_EQ(IconOf(0x50), BoxIcon::Program);
}

TEST(MsgBoxKeys, CharactersAndLetterKeys) {
  std::vector<std::string> ync{"&Yes", "&No", "&Cancel"};
  EXPECT_EQ(ButtonForChar(ync, 'n'), 1);
  EXPECT_EQ(ButtonForChar(ync, 'N'), 1);
  EXPECT_EQ(ButtonForChar(ync, 'x'), -1);
  EXPECT_EQ(ButtonForChar(ync, '&'), -1);
  EXPECT_EQ(ButtonForLetterKey(ync, 'C'), 2);
  EXPECT_EQ(ButtonForLetterKey(ync, 'Z'), -1);
  EXPECT_EQ(ButtonForLetterKey(ync, 0x0D), -1);  // Enter is not a letter

  // Two buttons with one letter: a typed character takes the first, a letter key the
  // last; a caption without "&" has no accelerator.
  std::vector<std::string> clash{"&Retry", "&Run", "OK"};
  EXPECT_EQ(ButtonForChar(clash, 'r'), 0);
  EXPECT_EQ(ButtonForLetterKey(clash, 'R'), 1);
  EXPECT_EQ(ButtonForChar(clash, 'K'), -1);
  EXPECT_EQ(ButtonForLetterKey(clash, 'K'), -1);
  // The letter key looks after the first "&" anywhere in the caption.
  EXPECT_EQ(ButtonForLetterKey({"Save &as"}, 'A'), 0);
  EXPECT_EQ(ButtonForChar({"Save &as"}, 'a'), -1);
}

TEST(MsgBoxKeys, FocusWraps) {
  EXPECT_EQ(NextFocus(0, 3, true), 1);
  EXPECT_EQ(NextFocus(2, 3, true), 0);
  EXPECT_EQ(NextFocus(0, 3, false), 2);
  EXPECT_EQ(NextFocus(-1, 3, true), 0);
  EXPECT_EQ(NextFocus(-1, 3, false), 2);
  EXPECT_EQ(NextFocus(0, 0, true), -1);
}

TEST(MsgBoxLayout, TextMeasure) {
  auto tenPerChar = [](const std::string& line) { return int(line.size()) * 10; };
  // Two lines: the widest plus 10, one line height each.
  EXPECT_EQ(MeasureText("abc\r\nabcdefgh", 13, tenPerChar), (Size{90, 26}));
  // The empty remainder after a final break does not count; an empty line inside does.
  EXPECT_EQ(MeasureText("abc\r\n", 13, tenPerChar), (Size{40, 13}));
  EXPECT_EQ(MeasureText("abc\r\n\r\nabc", 13, tenPerChar), (Size{40, 39}));
  // An empty text measures one blank.
  EXPECT_EQ(MeasureText("", 13, tenPerChar), (Size{20, 13}));
  // A 1300-pixel line: width capped at 600, three line heights.
  EXPECT_EQ(MeasureText(std::string(130, 'x'), 13, tenPerChar), (Size{600, 39}));
}

TEST(MsgBoxLayout, BoxAndTextPlacement) {
  // Narrow text: margin 64, at least 360 wide; short text: 90 more in height.
  EXPECT_EQ(BoxSizeFor({100, 13}, 3, 3, 19), (Size{360, 3 * 2 + 13 + 90 + 19 + 36}));
  // Wide text: margin 32: 400 + 6 + 64 + 54.
  EXPECT_EQ(BoxSizeFor({400, 39}, 3, 3, 19), (Size{524, 6 + 39 + 64 + 19 + 36}));
  EXPECT_EQ(BoxSizeFor({199, 13}, 3, 3, 19).width, 199 + 6 + 128 + 54);
  // Centred right of the band, above the button strip.
  EXPECT_EQ(TextAreaPlacement({354, 140}, {100, 26}), (Placement{154, 39, 100, 62}));
}

TEST(MsgBoxLayout, ButtonsFillFromTheRight) {
  EXPECT_EQ(ButtonLeft(354, 2, 3), 274);
  EXPECT_EQ(ButtonLeft(354, 1, 3), 204);
  EXPECT_EQ(ButtonLeft(354, 0, 3), 134);
  EXPECT_EQ(ButtonLeft(354, 0, 1), 274);
  EXPECT_EQ(ButtonLeft(354, 0, 2), 204);
  EXPECT_EQ(ButtonTop(120), 91);
}

TEST(MsgBoxShortcuts, HeadingAndFlags) {
  EXPECT_EQ(ShortcutText(kOwnerNone, "Disk full", "Error"), "<<b>ERROR</b><P><P>Disk full<P>");
  EXPECT_EQ(ShortcutText(kOwnerNone, "x", "Setup"), "<<b>Setup</b><P><P>x<P>");
  EXPECT_EQ(ShortcutText(kOwnerActive, "x", "Error"), "x");
  EXPECT_EQ(ShortcutText(0x1234, "x", "Error"), "x");

  EXPECT_EQ(ShortcutFlags(kOwnerNone, 0x24, 0), 0x24u | 0x52000u);
  EXPECT_EQ(ShortcutFlags(kOwnerNone, 0x24, 177), 0x24u | 0x52000u | 0x180000u);
  EXPECT_EQ(ShortcutFlags(kOwnerNone, 0x24, 178), 0x24u | 0x52000u | 0x180000u);
  EXPECT_EQ(ShortcutFlags(kOwnerActiveNoClose, 0x10, 0), 0x10u | 0x52000u | 0x10000000u);
}

}  // namespace
