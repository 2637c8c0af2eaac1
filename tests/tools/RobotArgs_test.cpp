#include "../../tools/winrobot/RobotArgs.h"

#include <gtest/gtest.h>

namespace {

bool Parse(std::vector<std::string> args, RobotArgs& a) {
    std::string error;
    bool ok = ParseRobotArgs(args, a, error);
    EXPECT_EQ(ok, error.empty()) << error;
    return ok;
}

TEST(RobotArgs, CommandsAndWindowSelection) {
    RobotArgs a;
    ASSERT_TRUE(Parse({"wait", "--class", "VMsgBox", "--timeout", "5000"}, a));
    EXPECT_EQ(a.command, RobotCommand::Wait);
    EXPECT_TRUE(a.hasClass);
    EXPECT_EQ(a.className, "VMsgBox");
    EXPECT_FALSE(a.hasTitle);
    EXPECT_EQ(a.timeoutMs, 5000);

    ASSERT_TRUE(Parse({"show", "--title", "Error"}, a));
    EXPECT_EQ(a.command, RobotCommand::Show);
    EXPECT_EQ(a.title, "Error");
    EXPECT_EQ(a.timeoutMs, 10000);

    // An empty caption is a caption too (untitled windows).
    ASSERT_TRUE(Parse({"close", "--title", ""}, a));
    EXPECT_TRUE(a.hasTitle);

    ASSERT_TRUE(Parse({"waitgone", "--hwnd", "0x1A2b", "--class", "X"}, a));
    EXPECT_EQ(a.command, RobotCommand::WaitGone);
    EXPECT_EQ(a.handle, 0x1A2Bu);
    EXPECT_TRUE(a.hasClass);
    ASSERT_TRUE(Parse({"wait", "--hwnd", "4660"}, a));
    EXPECT_EQ(a.handle, 4660u);
    ASSERT_TRUE(Parse({"wait", "--title", "T", "--timeout", "0"}, a));
    EXPECT_EQ(a.timeoutMs, 0);
}

TEST(RobotArgs, MessageCommands) {
    RobotArgs a;
    ASSERT_TRUE(Parse({"send", "--class", "X", "--message", "QueryCancelAutoPlay"}, a));
    EXPECT_EQ(a.command, RobotCommand::Send);
    EXPECT_EQ(a.message, "QueryCancelAutoPlay");
    EXPECT_TRUE(a.includeHidden);  // windows that take messages are often hidden
    ASSERT_TRUE(Parse({"post", "--class", "X", "--message", "0x463", "--wparam", "0", "--lparam", "7"}, a));
    EXPECT_EQ(a.wParam, 0u);
    EXPECT_EQ(a.lParam, 7u);
    ASSERT_TRUE(Parse({"listen", "--class", "X", "--message", "1124", "--notify", "0x8001", "--duration", "500"}, a));
    EXPECT_EQ(a.notify, 0x8001u);
    EXPECT_EQ(a.durationMs, 500);
    ASSERT_TRUE(Parse({"show", "--class", "X", "--hidden"}, a));
    EXPECT_TRUE(a.includeHidden);
    ASSERT_TRUE(Parse({"show", "--class", "X"}, a));
    EXPECT_FALSE(a.includeHidden);

    std::string e;
    EXPECT_FALSE(ParseRobotArgs({"send", "--class", "X"}, a, e));
    EXPECT_FALSE(ParseRobotArgs({"show", "--class", "X", "--message", "5"}, a, e));
    EXPECT_FALSE(ParseRobotArgs({"listen", "--class", "X", "--message", "5"}, a, e));
    EXPECT_FALSE(ParseRobotArgs({"post", "--class", "X", "--message", "5", "--wparam", "-1"}, a, e));

    uint32_t n = 0;
    EXPECT_TRUE(MessageNumberOf("1125", n));
    EXPECT_EQ(n, 1125u);
    EXPECT_TRUE(MessageNumberOf("0x465", n));
    EXPECT_EQ(n, 0x465u);
    EXPECT_FALSE(MessageNumberOf("QueryCancelAutoPlay", n));
}

TEST(RobotArgs, BadCommandLinesAreRefused) {
    RobotArgs a;
    std::string e;
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"click", "--class", "X"},
        {"wait"},                                   // no window named
        {"wait", "--class"},                        // value missing
        {"wait", "--class", ""},                    // empty class name
        {"wait", "--class", "A", "--class", "B"},   // twice
        {"wait", "--class", "A", "--timeout", "-1"},
        {"wait", "--class", "A", "--timeout", "1e3"},
        {"wait", "--class", "A", "--timeout", "86400001"},
        {"wait", "--class", "A", "--timeout", "99999999999999999999"},
        {"wait", "--hwnd", "0"},
        {"wait", "--hwnd", "0x123456789"},          // wider than a handle
        {"wait", "--hwnd", "0xZZ"},
        {"wait", "--class", "A", "extra"},
        {"show", "--class", "A", "--button", "Yes"},  // press options elsewhere
        {"press", "--class", "A"},                  // neither button nor index
        {"press", "--class", "A", "--button", "Yes", "--index", "0"},
        {"press", "--class", "A", "--index", "x"},
        {"press", "--class", "A", "--button", ""},
        {"keys", "--class", "A"},                   // no keys
        {"keys", "--class", "A", "{F13}"},
        {"keys", "--class", "A", "--bogus"},
    };
    for (const auto& args : bad) {
        e.clear();
        EXPECT_FALSE(ParseRobotArgs(args, a, e)) << (args.empty() ? "" : args[0]) << " " << args.size();
        EXPECT_FALSE(e.empty());
    }
}

TEST(RobotArgs, PressAndKeys) {
    RobotArgs a;
    ASSERT_TRUE(Parse({"press", "--class", "VMsgBox", "--button", "&No"}, a));
    EXPECT_TRUE(a.hasButton);
    EXPECT_EQ(a.button, "&No");
    ASSERT_TRUE(Parse({"press", "--class", "VMsgBox", "--index", "2"}, a));
    EXPECT_EQ(a.index, 2);

    ASSERT_TRUE(Parse({"keys", "--class", "VMsgBox", "{TAB}", "--timeout", "300", "n", "char:y"}, a));
    ASSERT_EQ(a.keys.size(), 3u);
    EXPECT_EQ(a.keys[0].kind, RobotKey::Kind::Key);
    EXPECT_EQ(a.keys[0].code, 0x09u);
    EXPECT_EQ(a.keys[1].code, unsigned('N'));
    EXPECT_EQ(a.keys[2].kind, RobotKey::Kind::Char);
    EXPECT_EQ(a.keys[2].code, unsigned('y'));
    EXPECT_EQ(a.timeoutMs, 300);
}

TEST(RobotKeys, Specs) {
    struct Case {
        const char* keyText;
        RobotKey::Kind kind;
        unsigned code;
    } cases[] = {
        {"N", RobotKey::Kind::Key, 0x4E},        {"n", RobotKey::Kind::Key, 0x4E},
        {"7", RobotKey::Kind::Key, 0x37},        {"{ENTER}", RobotKey::Kind::Key, 0x0D},
        {"{enter}", RobotKey::Kind::Key, 0x0D},  {"{ESC}", RobotKey::Kind::Key, 0x1B},
        {"{TAB}", RobotKey::Kind::Key, 0x09},    {"{LEFT}", RobotKey::Kind::Key, 0x25},
        {"{UP}", RobotKey::Kind::Key, 0x26},     {"{RIGHT}", RobotKey::Kind::Key, 0x27},
        {"{DOWN}", RobotKey::Kind::Key, 0x28},   {"{SPACE}", RobotKey::Kind::Key, 0x20},
        {"char:n", RobotKey::Kind::Char, 0x6E},  {"char:&", RobotKey::Kind::Char, 0x26},
        {"char:\xE9", RobotKey::Kind::Char, 0xE9},
    };
    for (const Case& c : cases) {
        RobotKey k;
        ASSERT_TRUE(ParseKeySpec(c.keyText, k)) << c.keyText;
        EXPECT_EQ(k.kind, c.kind) << c.keyText;
        EXPECT_EQ(k.code, c.code) << c.keyText;
    }
    RobotKey k;
    for (const char* bad : {"", "?", "NN", "{ENTER", "ENTER", "char:", "char:ab", "{F1}"})
        EXPECT_FALSE(ParseKeySpec(bad, k)) << bad;
    EXPECT_FALSE(ParseKeySpec(std::string("char:\0", 6), k));
}

TEST(RobotKeys, MessagesCarryScanCodeAndTransitionBits) {
    RobotKey n{RobotKey::Kind::Key, 0x4E};
    auto m = KeyMessages(n, 0x31);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].message, 0x0100u);
    EXPECT_EQ(m[0].wParam, 0x4Eu);
    EXPECT_EQ(m[0].lParam, 0x00310001u);
    EXPECT_EQ(m[1].message, 0x0101u);
    EXPECT_EQ(m[1].lParam, 0xC0310001u);

    // Arrows are extended keys (bit 24).
    auto left = KeyMessages({RobotKey::Kind::Key, 0x25}, 0x4B);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].lParam, 0x014B0001u);
    EXPECT_EQ(left[1].lParam, 0xC14B0001u);
    EXPECT_FALSE(IsExtendedKey(0x0D));
    EXPECT_TRUE(IsExtendedKey(0x28));

    auto ch = KeyMessages({RobotKey::Kind::Char, 'y'}, 0x15);
    ASSERT_EQ(ch.size(), 1u);
    EXPECT_EQ(ch[0].message, 0x0102u);
    EXPECT_EQ(ch[0].wParam, unsigned('y'));
    EXPECT_EQ(ch[0].lParam, 0x00150001u);
    // Only the low byte of a scan code goes into the message.
    EXPECT_EQ(KeyMessages(n, 0x1E1)[0].lParam, 0x00E10001u);
}

TEST(RobotButtons, CaptionMatching) {
    EXPECT_TRUE(CaptionMatches("&Yes", "yes"));
    EXPECT_TRUE(CaptionMatches("&Yes", "&YES"));
    EXPECT_FALSE(CaptionMatches("Yes", "&yes"));  // a mark the caption does not have
    EXPECT_FALSE(CaptionMatches("&Yes", "Ye"));
    EXPECT_FALSE(CaptionMatches("&Yes", "Yes "));
    EXPECT_TRUE(CaptionMatches("Save && E&xit", "save & exit"));
    EXPECT_TRUE(CaptionMatches("Save && E&xit", "SAVE && E&XIT"));
    EXPECT_FALSE(CaptionMatches("Save && E&xit", "save && exit"));
    EXPECT_FALSE(CaptionMatches("Save && Exit", "save exit"));
    // Case folding is ASCII only: other bytes must be equal.
    EXPECT_FALSE(CaptionMatches("\xC9t\xE9", "\xE9t\xE9"));

    std::vector<std::string> captions = {"&Retry", "&Cancel", "Re&try"};
    EXPECT_EQ(FindButton(captions, "retry"), 0);  // the first of equal captions
    EXPECT_EQ(FindButton(captions, "CANCEL"), 1);
    EXPECT_EQ(FindButton(captions, "&OK"), -1);
    EXPECT_EQ(FindButton({}, "x"), -1);
}

TEST(RobotButtons, LeftToRightOrder) {
    EXPECT_EQ(OrderLeftToRight({334, 194, 264}, {116, 116, 116}), (std::vector<int>{1, 2, 0}));
    EXPECT_EQ(OrderLeftToRight({10, 10, 5}, {40, 20, 90}), (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(OrderLeftToRight({7, 7}, {3, 3}), (std::vector<int>{0, 1}));
    EXPECT_TRUE(OrderLeftToRight({}, {}).empty());
    // Mismatched inputs use the common part only.
    EXPECT_EQ(OrderLeftToRight({9, 1, 5}, {0, 0}), (std::vector<int>{1, 0}));
}

TEST(RobotText, Escaping) {
    EXPECT_EQ(EscapeText("Do you\r\nwant\tit? C:\\Users\\nina"), "Do you\\nwant\\tit? C:\\\\Users\\\\nina");
    // Lone CR and LF are not line breaks of the control and stay visible as such.
    EXPECT_EQ(EscapeText("a\rb\nc"), "a\\x0db\\x0ac");
    EXPECT_EQ(EscapeText("\r"), "\\x0d");
    EXPECT_EQ(EscapeText(std::string("x\0y", 3)), "x\\x00y");
    EXPECT_EQ(EscapeText("\x7F"), "\\x7f");
    EXPECT_EQ(EscapeText("a|b"), "a|b");
    EXPECT_EQ(EscapeText("a|b", true), "a\\x7cb");
    EXPECT_EQ(EscapeText("\xE0\xF9"), "\xE0\xF9");  // ANSI letters stay as they are
    EXPECT_EQ(EscapeText(""), "");
}

TEST(RobotText, RangesAndNumbers) {
    EXPECT_EQ(FormatRanges(RangesFromFlags({false, true, true, false, true})), "1-3;4-5");
    EXPECT_EQ(FormatRanges(RangesFromFlags({true, true})), "0-2");
    EXPECT_EQ(FormatRanges(RangesFromFlags({false, false})), "");
    EXPECT_EQ(FormatRanges(RangesFromFlags({})), "");

    EXPECT_EQ(HexText(0x50010000u), "0x50010000");
    EXPECT_EQ(HexText(0x2000u), "0x00002000");
    EXPECT_EQ(RectText(-4, 20, 70, 23), "-4,20,70,23");

    EXPECT_EQ(ClampLength(-5, 10), 0u);
    EXPECT_EQ(ClampLength(0, 10), 0u);
    EXPECT_EQ(ClampLength(7, 10), 7u);
    EXPECT_EQ(ClampLength(20, 10), 10u);
}

TEST(RobotText, ClassNames) {
    EXPECT_TRUE(SameClassName("button", "Button"));
    EXPECT_FALSE(SameClassName("Button", "Buttons"));
    EXPECT_TRUE(IsRichEditClass("RICHEDIT"));
    EXPECT_TRUE(IsRichEditClass("RichEdit20A"));
    EXPECT_FALSE(IsRichEditClass("RICHED"));
    EXPECT_FALSE(IsRichEditClass("Edit"));
}

}  // namespace
