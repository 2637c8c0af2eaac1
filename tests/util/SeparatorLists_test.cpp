#include "util/SeparatorLists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

const std::string kStub = R"(C:\Program Files\App\Stub.exe)";

// ---- basics -----------------------------------------------------------------

TEST(VSUBBasics, TrimRemovesControlBytesAndSpacesOnly) {
    EXPECT_EQ(Trim(" \t\r\n\x01 a b \x1F\x20"), "a b");
    EXPECT_EQ(Trim("\0x\0"s), "x");
    EXPECT_EQ(Trim("\x7F" "a\xFF"), "\x7F" "a\xFF");  // above 32: kept
    EXPECT_EQ(Trim("   "), "");
    EXPECT_EQ(Trim(""), "");
}

TEST(VSUBBasics, CaseFoldingIsAsciiOnly) {
    EXPECT_EQ(UpperCase("abz AZ 09 \xE4\xFF"), "ABZ AZ 09 \xE4\xFF");
    EXPECT_EQ(LowerCase("ABZ az \xC4"), "abz az \xC4");
    EXPECT_TRUE(SameText("Stub.EXE", "stub.exe"));
    EXPECT_FALSE(SameText("\xE4", "\xC4"));
    EXPECT_FALSE(SameText("abc", "abcd"));
    EXPECT_TRUE(SameText("", ""));
}

TEST(VSUBBasics, TryParseInt64AcceptsSignAndDigitsOnly) {
    int64_t v = 42;
    EXPECT_TRUE(TryParseInt64("-5", v));
    EXPECT_EQ(v, -5);
    EXPECT_TRUE(TryParseInt64("+007", v));
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(TryParseInt64("9223372036854775807", v));
    EXPECT_EQ(v, INT64_MAX);
    EXPECT_TRUE(TryParseInt64("-9223372036854775808", v));
    EXPECT_EQ(v, INT64_MIN);
    v = 42;
    for (const char* bad : {"", "+", "-", " 5", "5 ", "12abc", "0x10", "1.0", "9223372036854775808",
                            "-9223372036854775809", "99999999999999999999", "--1"}) {
        EXPECT_FALSE(TryParseInt64(bad, v)) << bad;
    }
    EXPECT_EQ(v, 42);  // untouched on failure
}

TEST(VSUBBasics, StrToInt64DefTrimsThenFallsBack) {
    EXPECT_EQ(StrToInt64Def("  -12\t", 9), -12);
    EXPECT_EQ(StrToInt64Def("12abc", 9), 9);
    EXPECT_EQ(StrToInt64Def("", 9), 9);
    EXPECT_EQ(IntToStr(INT64_MIN), "-9223372036854775808");
    EXPECT_EQ(IntToStr(0), "0");
}

// ---- parameters tail ------------------------------------------------------------

TEST(VSUBParamsTail, QuotedProgramPathIsCutAfterItsClosingQuote) {
    EXPECT_EQ(ParamsTailOf(R"("C:\Program Files\App\Stub.exe" /SpanCdLvl=2 /OriginExe="C:\My Files\Setup.exe")",
                           kStub),
              R"(/SpanCdLvl=2 /OriginExe="C:\My Files\Setup.exe")");
    // The name is found without regard to case.
    EXPECT_EQ(ParamsTailOf(R"("c:\program files\app\STUB.EXE"   /a  )", kStub), "/a");
    // The quoted form wins over an earlier bare occurrence of the name.
    EXPECT_EQ(ParamsTailOf(R"("C:\Stub.exe.d\Stub.exe" /a)", R"(C:\Stub.exe.d\Stub.exe)"), "/a");
}

TEST(VSUBParamsTail, UnquotedProgramNameIsCutAfterItsFirstOccurrence) {
    EXPECT_EQ(ParamsTailOf(R"(C:\App\Stub.exe /hide)", R"(C:\App\Stub.exe)"), "/hide");
    EXPECT_EQ(ParamsTailOf("stub /x=1", "C:/App/STUB"), "/x=1");  // '/' also ends the folder
    EXPECT_EQ(ParamsTailOf(R"(C:\Stub.exe.d\Stub.exe /a)", R"(C:\Stub.exe.d\Stub.exe)"), R"(.d\Stub.exe /a)");
}

TEST(VSUBParamsTail, NothingOrOneStrayCharacterGivesEmptyTail) {
    EXPECT_EQ(ParamsTailOf(R"("C:\Program Files\App\Stub.exe")", kStub), "");
    EXPECT_EQ(ParamsTailOf(R"("C:\Program Files\App\Stub.exe" x)", kStub), "");
    EXPECT_EQ(ParamsTailOf(R"("C:\Program Files\App\Stub.exe"   "   )", kStub), "");
    EXPECT_EQ(ParamsTailOf(R"(C:\App\Stub.exe /)", R"(C:\App\Stub.exe)"), "");
    EXPECT_EQ(ParamsTailOf(R"("C:\Program Files\App\Stub.exe" ab)", kStub), "ab");
}

TEST(VSUBParamsTail, FallsBackToPathOrLeavesTheLineAlone) {
    // No file name part: only the path itself is removed.
    EXPECT_EQ(ParamsTailOf(R"(x C:\App\ /y)", R"(C:\App\)"), "x  /y");
    EXPECT_EQ(ParamsTailOf("  other.exe /x  ", kStub), "other.exe /x");
    EXPECT_EQ(ParamsTailOf("", kStub), "");
}

// ---- switch lookup --------------------------------------------------------------

TEST(VSUBSwitches, SwitchListDropsQuotesAndSplitsAtSpaceSwitchChar) {
    EXPECT_EQ(SwitchList(R"(/a=1 /b="x y")", '/'), "\x01\x01" "a=1\x01" "b=x y\x01");
    EXPECT_EQ(SwitchList("-a=1 /b=2", '-'), "\x01\x01" "a=1 /b=2\x01");
    EXPECT_EQ(SwitchList("", '/'), "\x01 \x01");
}

TEST(VSUBSwitches, QuotedPathValueAndIntegerSwitch) {
    const std::string tail = ParamsTailOf(
        R"("C:\Program Files\App\Stub.exe" /SpanCdLvl=2 /OriginExe="C:\My Files\Setup.exe")", kStub);
    EXPECT_EQ(ParamIntIn(tail, "/SpanCdLvl=", 1), 2);
    EXPECT_EQ(ParamValueIn(tail, "/OriginExe", "none"), R"(C:\My Files\Setup.exe)");
    EXPECT_EQ(ParamValueIn(tail, "OriginExe=", "none"), R"(C:\My Files\Setup.exe)");
    EXPECT_EQ(ParamValueIn(tail, "/SpanDiskFName1=", "none"), "none");
}

TEST(VSUBSwitches, NameIgnoresCaseValueKeepsIt) {
    EXPECT_EQ(ParamValueIn("/test=5", "/TEST=", "-1"), "5");
    EXPECT_EQ(ParamIntIn("/a=1 /Test=5", "/TEST=", -1), 5);
    EXPECT_EQ(ParamValueIn("/Name=AbC", "/name=", ""), "AbC");
}

TEST(VSUBSwitches, PresentButEmptyValueIsNotTheDefault) {
    EXPECT_EQ(ParamValueIn("/WAIT=", "/WAIT=", "dflt"), "");
    EXPECT_EQ(ParamValueIn("/WAIT=   /X=1", "/WAIT=", "dflt"), "");
    EXPECT_EQ(ParamIntIn("/WAIT=", "/WAIT=", 77), 77);
}

TEST(VSUBSwitches, SpacesBeforeEqualsSignAreIgnored) {
    EXPECT_EQ(ParamValueIn("/NAME = 3", "/NAME=", ""), "3");
    EXPECT_EQ(ParamIntIn("/a=1 /NAME    =3 /b=2", "/NAME=", 0), 3);
    // The collapsing also reaches into values.
    EXPECT_EQ(ParamValueIn("/A=x =y", "/A=", ""), "x=y");
}

TEST(VSUBSwitches, ValuesEndAtTheNextSpaceSwitchPair) {
    EXPECT_EQ(ParamValueIn(R"(/OriginExe="C:\x /y" /Z=1)", "/OriginExe=", ""), R"(C:\x)");
    EXPECT_EQ(ParamValueIn("/A=1    /B=2", "/A=", ""), "1");
    EXPECT_EQ(ParamValueIn("/A=1    /B=2", "/B=", ""), "2");
    // A '-' inside a '/' switch value does not end it, and the other way round.
    EXPECT_EQ(ParamValueIn("/a=x -y /b=1", "/a=", ""), "x -y");
    EXPECT_EQ(ParamValueIn("-a=1 -b=2 /c", "-b=", ""), "2 /c");
    EXPECT_EQ(ParamValueIn("-a=1 -b=2", "-b", ""), "2");
}

TEST(VSUBSwitches, OnlyWholeSwitchNamesMatch) {
    EXPECT_EQ(ParamValueIn("/TRANSIENTx=|1|", "/TRANSIENT=", "no"), "no");
    EXPECT_EQ(ParamValueIn("/TRANSIENTx=|1|2|", "/TRANSIENTx=", "no"), "|1|2|");
    EXPECT_EQ(ParamValueIn("/XTEST=1", "/TEST=", "no"), "no");
    EXPECT_EQ(ParamValueIn("a/TEST=1", "/TEST=", "no"), "no");
}

TEST(VSUBSwitches, DefaultsAndBadNames) {
    EXPECT_EQ(ParamValueIn("/a=1", "   ", " keep "), " keep ");
    EXPECT_EQ(ParamValueIn("", "/a=", "d"), "d");
    EXPECT_EQ(ParamIntIn("/n=12abc", "/n=", 4), 4);
    EXPECT_EQ(ParamIntIn("/n=-5", "/n=", 4), -5);
    EXPECT_EQ(ParamIntIn("/n=9223372036854775808", "/n=", 4), 4);
    // A pair of numbers is read by enclosing the value in its own separator.
    const std::string pair = ":" + ParamValueIn("/WM_MSG=6699:49152 /hide", "/WM_MSG=", "") + ":";
    EXPECT_EQ(SUB::ItemInt(pair, 0, 0), 6699);
    EXPECT_EQ(SUB::ItemInt(pair, 1, 0), 49152);
}

TEST(VSUBSwitches, WordSwitchNeedsTheNameFollowedBySpace) {
    EXPECT_TRUE(HasSwitchIn("/a=1 /hide", "/hide"));
    EXPECT_TRUE(HasSwitchIn("/HIDE /a=1", "/hide"));
    EXPECT_TRUE(HasSwitchIn("/hide", "  /hide  "));
    EXPECT_FALSE(HasSwitchIn("/hide=1", "/hide"));
    EXPECT_FALSE(HasSwitchIn("/hidex", "/hide"));
    EXPECT_FALSE(HasSwitchIn("", "/hide"));
}

// ---- separator lists: reading ---------------------------------------------------

TEST(VSUBList, CountNeedsAClosedList) {
    EXPECT_EQ(SUB::Count("|a|b|c|"), 3);
    EXPECT_EQ(SUB::Count("|a|b"), 0);
    EXPECT_EQ(SUB::Count("||"), 1);
    EXPECT_EQ(SUB::Count("|"), 0);
    EXPECT_EQ(SUB::Count(""), 0);
    EXPECT_EQ(SUB::Count("*a|b**"), 2);
}

TEST(VSUBList, ItemByIndexAndLast) {
    const std::string buttons = "|&OK|&Cancel|&Yes|";
    EXPECT_EQ(SUB::Item(buttons, 1), "&Cancel");
    EXPECT_EQ(SUB::Item(buttons, -1), "&Yes");
    EXPECT_EQ(SUB::Item(buttons, 0), "&OK");
    EXPECT_EQ(SUB::Item(buttons, 3, "none"), "none");
    EXPECT_EQ(SUB::Item(buttons, -2, "none"), "none");
    EXPECT_EQ(SUB::Item("||JAN|FEB|", 1), "JAN");
    EXPECT_EQ(SUB::Item("||JAN|FEB|", 0, "empty"), "empty");
    EXPECT_EQ(SUB::Item("", -1, "d"), "d");
    EXPECT_EQ(SUB::Item(".1.2.3.", 2), "3");
}

TEST(VSUBList, ItemNeedsItsClosingSeparatorAndStopsAtNul) {
    EXPECT_EQ(SUB::Item("|a|b", 0), "a");
    EXPECT_EQ(SUB::Item("|a|b", 1, "d"), "d");
    EXPECT_EQ(SUB::Item("|a|b\0|"s, 0), "a");
    EXPECT_EQ(SUB::Item("|a\0b|c|"s, 0, "d"), "d");
    EXPECT_EQ(SUB::Item("|a\0b|c|"s, 1, "d"), "d");
    EXPECT_EQ(SUB::Item("\0"s, 0, "d"), "d");
    EXPECT_EQ(SUB::Item("\0a\0"s, 0, "d"), "d");
}

TEST(VSUBList, ItemIntReadsIntegersOrDefault) {
    EXPECT_EQ(SUB::ItemInt(":6699:49152:", 0, -1), 6699);
    EXPECT_EQ(SUB::ItemInt(":6699:49152:", 1, -1), 49152);
    EXPECT_EQ(SUB::ItemInt(":6699:49152:", 2, -1), -1);
    EXPECT_EQ(SUB::ItemInt("|x| 7 ||", 0, -1), -1);
    EXPECT_EQ(SUB::ItemInt("|x| 7 ||", 1, -1), 7);
    EXPECT_EQ(SUB::ItemInt("|x| 7 ||", 2, -1), -1);
}

TEST(VSUBList, IndexOfWholeItemsPrefixesAndTrimmedRetry) {
    EXPECT_EQ(SUB::IndexOf("|one|two|", "TWO"), 1);
    EXPECT_EQ(SUB::IndexOf("|one|two|", "tw", -7), -7);
    EXPECT_EQ(SUB::IndexOf("|one|two|", "tw", -7, true), 1);
    EXPECT_EQ(SUB::IndexOf("|one|two|", "", -7, true), 0);
    EXPECT_EQ(SUB::IndexOf("|a|b|a|", "A"), 0);
    EXPECT_EQ(SUB::IndexOf("|a|b|c|", " c "), 2);         // retried trimmed
    EXPECT_EQ(SUB::IndexOf("|a| b |c|", " B "), 1);       // exact untrimmed hit first
    EXPECT_EQ(SUB::IndexOf("  |x|y|\t", "y"), 1);          // the list is trimmed
    EXPECT_EQ(SUB::IndexOf("|a||c|", ""), 1);
    EXPECT_EQ(SUB::IndexOf("", "a", 5), 5);
}

TEST(VSUBList, ContainsWithTrimAndCaseFlags) {
    EXPECT_TRUE(SUB::Contains("|a|b|", "b"));
    EXPECT_TRUE(SUB::Contains("|a|b|", "B"));
    EXPECT_FALSE(SUB::Contains("|a|b|", "B", false, false));
    EXPECT_FALSE(SUB::Contains("|a|b|", " b "));
    EXPECT_TRUE(SUB::Contains("|a|b|", " b ", true));
    EXPECT_FALSE(SUB::Contains("|ab|", "a"));
    EXPECT_FALSE(SUB::Contains("", ""));
}

TEST(VSUBList, ValueEmptyMissingAndDefault) {
    EXPECT_EQ(SUB::Value("|a=1|b=|", "B", true, "EMPTY", "DEF"), "EMPTY");
    EXPECT_EQ(SUB::Value("|a=1|b=|", "c", true, "EMPTY", "DEF"), "DEF");
    EXPECT_EQ(SUB::Value("|a=1|b=|", "A", true, "EMPTY", "DEF"), "1");
    EXPECT_EQ(SUB::Value("|a=1|b=|", "a=", true, "EMPTY", "DEF"), "1");
    EXPECT_EQ(SUB::Value("|ab=1|b=2|", "b"), "2");
    EXPECT_EQ(SUB::Value("|k=MiXeD|", "K"), "MiXeD");
    EXPECT_EQ(SUB::Value("|a=x=y|", "a"), "x=y");
    EXPECT_EQ(SUB::Value("|==5|", "="), "5");  // "=" itself gets another '='
    EXPECT_EQ(SUB::Value("|a=1", "a", true, "", "DEF"), "DEF");
    EXPECT_EQ(SUB::Value("||", "", true, "", "DEF"), "DEF");
}

TEST(VSUBList, ValueCollapseVersusFirstEqualsOnly) {
    EXPECT_EQ(SUB::Value("|a  =1|", "a", true), "1");
    EXPECT_EQ(SUB::Value("|a  =1|", "a", false), "1");
    const std::string list = "|x=a =b|c =2|";
    EXPECT_EQ(SUB::Value(list, "c", true), "2");
    EXPECT_EQ(SUB::Value(list, "c", false, "", "DEF"), "DEF");
    EXPECT_EQ(SUB::Value(list, "x", true), "a=b");
    EXPECT_EQ(SUB::Value(list, "x", false), "a =b");
}

// ---- separator lists: building --------------------------------------------------

TEST(VSUBList, KeysAndValuesSplitAtFirstEquals) {
    EXPECT_EQ(SUB::Keys("|a=1|b|c=3=4|"), "|a||c|");
    EXPECT_EQ(SUB::Values("|a=1|b|c=3=4|"), "|1||3=4|");
    std::string k, v;
    SUB::KeysAndValues("*a|x=1*b=2*", k, v);
    EXPECT_EQ(k, "*a|x*b*");  // '|' is taken, so the next candidate separates
    EXPECT_EQ(v, "|1|2|");
    EXPECT_EQ(SUB::Keys("|a=1"), "");
    EXPECT_EQ(SUB::Values(""), "");
}

TEST(VSUBList, ZipPairsUpToTheLongerList) {
    EXPECT_EQ(SUB::Zip("|a|b|", "|1|"), "|a=1|b=|");
    EXPECT_EQ(SUB::Zip("|a|", "|1|2|"), "|a=1|=2|");
    EXPECT_EQ(SUB::Zip("|a|b|||", "|1||"), "|a=1|b=|=|=|");
    EXPECT_EQ(SUB::Zip("|a|b|||", "|1||", true), "|a=1|b=|");
    EXPECT_EQ(SUB::Zip("*x|y*", "*1*"), "*x|y=1*");
    EXPECT_EQ(SUB::Zip("", ""), "");
    EXPECT_EQ(SUB::Zip("|||", "||", true), "");
}

TEST(VSUBList, DeleteRemovesOneItem) {
    EXPECT_EQ(SUB::Delete("|a|b|c|", 1), "|a|c|");
    EXPECT_EQ(SUB::Delete("|a|b|c|", 0), "|b|c|");
    EXPECT_EQ(SUB::Delete("|a|b|c|", 2), "|a|b|");
    EXPECT_EQ(SUB::Delete("|a|b|c|", 3), "|a|b|c|");
    EXPECT_EQ(SUB::Delete("|a|b|c|", -1), "|a|b|c|");
    EXPECT_EQ(SUB::Delete("|a|b", 0), "|a|b");
    EXPECT_EQ(SUB::Delete("*x**y*", 1), "*x*y*");
}

TEST(VSUBList, SetItemReplacesExtendsAndReSeparates) {
    EXPECT_EQ(SUB::SetItem("|a|b|", 3, "x|y"), "*a*b**x|y*");
    EXPECT_EQ(SUB::SetItem("|a|b|", 1, "z"), "|a|z|");
    EXPECT_EQ(SUB::SetItem("", 0, "v"), "|v|");
    EXPECT_EQ(SUB::SetItem("", 2, "v"), "|||v|");
    EXPECT_EQ(SUB::SetItem("*a*b*", 0, "q"), "*q*b*");
    EXPECT_EQ(SUB::SetItem("*a*b*", 0, "|"), "*|*b*");   // old separator free: kept
    EXPECT_EQ(SUB::SetItem("|a|", 0, "x*|"), "~x*|~");   // '|' and '*' taken
    EXPECT_EQ(SUB::SetItem("|a|", -1, "x"), "|a|");
}

TEST(VSUBList, NormalizePicksFirstFreeCandidate) {
    EXPECT_EQ(SUB::Normalize("*a*b*"), "|a|b|");
    EXPECT_EQ(SUB::Normalize("|a|b|"), "|a|b|");
    EXPECT_EQ(SUB::Normalize("*a|b*"), "*a|b*");
    EXPECT_EQ(SUB::Normalize("%a|*~^!@#$b%"), "&a|*~^!@#$b&");
    EXPECT_EQ(SUB::Normalize("%x%"), "|x|");
    EXPECT_EQ(SUB::Normalize("x"), "");
    EXPECT_EQ(SUB::Normalize(""), "");
    // A list already holding NUL bytes is taken as NUL-separated.
    EXPECT_EQ(SUB::Normalize("|a\0b|"s), "|a*b|");
}

TEST(VSUBList, NormalizeKeepsNulSeparatorsWhenAllCandidatesAreTaken) {
    const std::string all = "|*~^!@#$&\xFF";
    EXPECT_EQ(SUB::Normalize("%" + all + "%"), "\0"s + all + "\0"s);
    EXPECT_EQ(SUB::Count(SUB::Normalize("%" + all + "%a%")), 2);
    EXPECT_EQ(SUB::SetItem("%a%", 0, all + "%"), "\0"s + all + "%\0"s);
}

TEST(VSUBList, FromArrayAndAppend) {
    EXPECT_EQ(SUB::FromArray({"a", "b"}), "|a|b|");
    EXPECT_EQ(SUB::FromArray({"a|b", "c"}), "*a|b*c*");
    EXPECT_EQ(SUB::FromArray({}), "");
    EXPECT_EQ(SUB::FromArray({""}), "||");
    EXPECT_EQ(SUB::FromArray({"a", "A ", " a", "b", ""}, true), "|a|b|");
    EXPECT_EQ(SUB::Append("|a|", {"b"}), "|a|b|");
    EXPECT_EQ(SUB::Append("*a*", {"b|c"}), "*a*b|c*");
    EXPECT_EQ(SUB::Append("*a*", {"b*c"}), "|a|b*c|");
    EXPECT_EQ(SUB::Append("|a|", {"b|c"}), "*a*b|c*");
    EXPECT_EQ(SUB::Append("", {"x"}), "|x|");
    EXPECT_EQ(SUB::Append("|a|b|", {"A", "c"}, true), "|a|b|c|");
}

TEST(VSUBList, ReverseDistinctTrimEmptyChangeSeparator) {
    EXPECT_EQ(SUB::Reverse("|a|b|c|"), "|c|b|a|");
    EXPECT_EQ(SUB::Reverse("*x**y*"), "*y**x*");
    EXPECT_EQ(SUB::Distinct("|a| A|b||B |c|"), "|a|b|c|");
    EXPECT_EQ(SUB::Distinct("*x*X*"), "*x*");
    EXPECT_EQ(SUB::Distinct("||| |"), "");
    EXPECT_EQ(SUB::TrimEmpty("|a|||"), "|a|");
    EXPECT_EQ(SUB::TrimEmpty("||a|"), "||a|");
    EXPECT_EQ(SUB::TrimEmpty("|||a|", false, true), "|a|");
    EXPECT_EQ(SUB::TrimEmpty("||a||", true, true), "|a|");
    EXPECT_EQ(SUB::TrimEmpty("|||"), "");
    EXPECT_EQ(SUB::TrimEmpty("|||", false, true), "");
    EXPECT_EQ(SUB::ChangeSeparator("|a|b|", '*'), "*a*b*");
    EXPECT_EQ(SUB::ChangeSeparator("", '*'), "");
}

// ---- replacing and searching ----------------------------------------------------

TEST(VSUBReplace, ReplaceAllIsLeftToRightNonOverlapping) {
    EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ReplaceAll("aAa", "a", "x"), "xAx");
    EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
    EXPECT_EQ(ReplaceAll("", "a", "x"), "");
    EXPECT_EQ(ReplaceAll(" a ", "a", "b", true), "b");
    EXPECT_EQ(ReplaceAll(" a ", "a", "b"), " b ");
    EXPECT_EQ(ReplaceAll(" xy ", "q", "z", true), "xy");
    EXPECT_EQ(ReplaceAll("a\0b\0"s, "\0"s, "--"), "a--b--");
}

TEST(VSUBReplace, ReplaceAllCIFindsAnyCaseInsertsVerbatim) {
    EXPECT_EQ(ReplaceAllCI("aAa", "A", "-"), "---");
    EXPECT_EQ(ReplaceAllCI("x<p>y<P>", "<P>", "#"), "x#y#");
    EXPECT_EQ(ReplaceAllCI("Say hello", "HELLO", "HeLLo"), "Say HeLLo");
    EXPECT_EQ(ReplaceAllCI("\xE4\xC4", "\xC4", "x"), "\xE4x");  // non-ASCII not folded
}

TEST(VSUBReplace, ReplaceAllHandlesLongInputsInLinearTime) {
    std::string text;
    for (int i = 0; i < 200000; ++i) text += "ab";
    const std::string r = ReplaceAll(text, "a", "xyz");
    ASSERT_EQ(r.size(), 800000u);
    EXPECT_EQ(r.substr(0, 8), "xyzbxyzb");
    EXPECT_EQ(ReplaceAll(r, "xyzb", ""), "");
}

TEST(VSUBReplace, ReplaceRepeatedCollapsesRuns) {
    EXPECT_EQ(ReplaceRepeated("a    =b", " =", "="), "a=b");
    EXPECT_EQ(ReplaceAll("a    =b", " =", "="), "a   =b");
    EXPECT_EQ(ReplaceRepeated("xaaab", "ab", "b"), "xb");
    EXPECT_EQ(ReplaceRepeated(" a  =b ", " =", "=", true), "a=b");
    EXPECT_EQ(ReplaceRepeated("aa", "a", "aa"), "aa");   // would never end
    EXPECT_EQ(ReplaceRepeated("abc", "x", ""), "abc");
    EXPECT_EQ(ReplaceRepeated("ababa", "aba", "c"), "cba");
    EXPECT_EQ(ReplaceRepeated("ba", "ab", "ba"), "ba");
    EXPECT_EQ(ReplaceRepeated("aabb", "ab", "ba"), "bbaa");
}

TEST(VSUBReplace, ReplaceRepeatedStopsOnRunawayRules) {
    // Each step moves an 'a' right and doubles the 'b's: 2^60 bytes if let run.
    const std::string text = std::string(60, 'a') + "b";
    const std::string r = ReplaceRepeated(text, "ab", "bba");
    EXPECT_LT(r.size(), size_t{1} << 28);
}

TEST(VSUBSearch, PositionsAreOneBased) {
    EXPECT_EQ(PosCI("B", "abc"), 2u);
    EXPECT_EQ(PosCI("", "abc"), 0u);
    EXPECT_EQ(PosCI("abcd", "abc"), 0u);
    EXPECT_EQ(PosFrom("a", "banana", 3), 4u);
    EXPECT_EQ(PosFrom("a", "banana", 4), 4u);
    EXPECT_EQ(PosFrom("na", "banana", 4), 5u);
    EXPECT_EQ(PosFrom("a", "banana", 0), 0u);
    EXPECT_EQ(PosFrom("a", "banana", 7), 0u);
    EXPECT_EQ(PosFrom("A", "banana", 1), 0u);
    EXPECT_EQ(PosFrom("A", "banana", 1, true), 2u);
    EXPECT_EQ(PosFrom("", "banana", 1), 0u);
    EXPECT_EQ(LastPos("a", "banana"), 6u);
    EXPECT_EQ(LastPos("an", "banana"), 4u);
    EXPECT_EQ(LastPos("x", "banana"), 0u);
}

TEST(VSUBSearch, PrefixSuffixAndTrimmedEquality) {
    EXPECT_FALSE(EndsWith(".EXE", "setup.exe"));
    EXPECT_TRUE(EndsWith(".EXE", "setup.exe", true));
    EXPECT_FALSE(EndsWith("long.exe", ".exe"));
    EXPECT_TRUE(StartsWith("set", "setup"));
    EXPECT_FALSE(StartsWith("SET", "setup"));
    EXPECT_TRUE(StartsWith("SET", "setup", true));
    EXPECT_FALSE(StartsWith("setupx", "setup"));
    EXPECT_TRUE(SameTextTrimmed(" abc\t", "ABC"));
    EXPECT_FALSE(SameTextTrimmed("a bc", "abc"));
}

TEST(VSUBSearch, LeftOfRightOfFirstSeparator) {
    EXPECT_EQ(LeftOf("key=value", "="), "key");
    EXPECT_EQ(RightOf("key=value", "="), "value");
    EXPECT_EQ(RightOf("a=b=c", "="), "b=c");
    EXPECT_EQ(LeftOf("a::b::c", "::"), "a");
    EXPECT_EQ(RightOf("a::b::c", "::"), "b::c");
    EXPECT_EQ(LeftOf("abc", "=", "none"), "none");
    EXPECT_EQ(RightOf("abc", "=", "none"), "none");
    EXPECT_EQ(LeftOf(" k = v ", "=", "", true), "k");
    EXPECT_EQ(RightOf(" k = v ", "=", "", true), "v");
    EXPECT_EQ(RightOf("k=", "=", "none"), "");
}

// ---- quoting and character helpers ----------------------------------------------

TEST(VSUBQuote, StripCharRules) {
    EXPECT_EQ(StripChar("\"", '"'), "");
    EXPECT_EQ(StripChar("\"a\"", '"'), "a");
    EXPECT_EQ(StripChar("\"a", '"'), "\"a");
    EXPECT_EQ(StripChar("\"a", '"', true), "a");
    EXPECT_EQ(StripChar("\"\"a\"\"", '"'), "a");
    EXPECT_EQ(StripChar("\"\"a\"\"", '"', false, true), "\"a\"");
    EXPECT_EQ(StripChar("\"\"\"", '"', false, true), "\"");
    EXPECT_EQ(StripChar("xax", 'x'), "a");
    EXPECT_EQ(StripChar("", 'x', true), "");
}

TEST(VSUBQuote, UnquoteQuoteEnclose) {
    EXPECT_EQ(Unquote("  \"C:\\x y\"  "), "C:\\x y");
    EXPECT_EQ(Unquote("\"a"), "\"a");
    EXPECT_EQ(Unquote("\"a", true), "a");
    EXPECT_EQ(Quote("a"), "\"a\"");
    EXPECT_EQ(Quote("\"a"), "\"a\"");
    EXPECT_EQ(Quote(" \"a\" "), "\"a\"");
    EXPECT_EQ(Quote(""), "\"\"");
    EXPECT_EQ(Enclose("1.2.3", '.'), ".1.2.3.");
    EXPECT_EQ(Enclose("..a.", '.', true), ".a.");
    EXPECT_EQ(Enclose("..a.", '.'), "...a..");
}

TEST(VSUBChars, ReplaceFilterReverse) {
    EXPECT_EQ(ReplaceChar("a/b/c", '/', '\\'), "a\\b\\c");
    EXPECT_EQ(ReplaceChar("aaa", 'a', 'a'), "aaa");
    EXPECT_EQ(FilterChars("a1b2c3", "0123456789"), "123");
    EXPECT_EQ(FilterChars("a1b2", "", "12"), "ab");
    EXPECT_EQ(FilterChars("a1b2", "ab12", "b"), "a12");
    EXPECT_EQ(FilterChars("\0x\xFF"s, "", "\xFF"), "\0x"s);
    EXPECT_EQ(ReverseText("abc"), "cba");
    EXPECT_EQ(ReverseText(""), "");
}

TEST(VSUBChars, PadLeftPositiveAndNegativeWidths) {
    EXPECT_EQ(PadLeft("7", 3, '0'), "007");
    EXPECT_EQ(PadLeft("1234", 3), "1234");
    EXPECT_EQ(PadLeft("1234", -3), "12.");
    EXPECT_EQ(PadLeft("abc", -3), "abc");
    EXPECT_EQ(PadLeft("abcdef", -4, '*'), "abc.");
    EXPECT_EQ(PadLeft("ab", -5, '*'), "***ab");
    EXPECT_EQ(PadLeft("abc", -2, '*'), "abc");
    EXPECT_EQ(PadLeft("a", -2, '*'), "a");
    EXPECT_EQ(PadLeft("a", 0, '*'), "a");
}

TEST(VSUBChars, ZeroPadBoolAndUnescape) {
    EXPECT_EQ(ZeroPad(5, 3), "005");
    EXPECT_EQ(ZeroPad(12345, 3), "12345");
    EXPECT_EQ(ZeroPad(0, 0), "0");
    EXPECT_EQ(BoolText(true), "TRUE");
    EXPECT_EQ(BoolText(false), "FALSE");
    EXPECT_EQ(BoolChar(true), "1");
    EXPECT_EQ(BoolChar(false), "0");
    EXPECT_EQ(UnescapeText("a\\\\nb"), "a\r\nb");
    EXPECT_EQ(UnescapeText("a<p>b<T>c<P>"), "a\r\nb\tc\r\n");
    EXPECT_EQ(UnescapeText("x\\\\ty"), "x\ty");
    EXPECT_EQ(UnescapeText("x\\ny"), "x\\ny");      // one backslash: kept
    EXPECT_EQ(UnescapeText("x\\\\Ny"), "x\\\\Ny");  // only the tags ignore case
}

// ---- numbers ----------------------------------------------------------------

TEST(VSUBNumbers, ThousandsTextGroupsLeftOfTheDot) {
    EXPECT_EQ(ThousandsText("1234567"), "1,234,567");
    EXPECT_EQ(ThousandsText("123456"), "123,456");
    EXPECT_EQ(ThousandsText("1234"), "1,234");
    EXPECT_EQ(ThousandsText("123"), "123");
    EXPECT_EQ(ThousandsText("1234567.891"), "1,234,567.891");
    EXPECT_EQ(ThousandsText("1234.5"), "1,234.5");
    EXPECT_EQ(ThousandsText("12.5"), "12.5");
    EXPECT_EQ(ThousandsText(""), "");
    // Positions are counted, not digits: a sign is grouped like a digit.
    EXPECT_EQ(ThousandsText("-123456"), "-,123,456");
}

TEST(VSUBNumbers, SizeTextWholeUnitsRoundUp) {
    EXPECT_EQ(SizeText(1025, 1024, 0), "2");
    EXPECT_EQ(SizeText(1024, 1024, 0), "1");
    EXPECT_EQ(SizeText(0, 1024, 0), "0");
    EXPECT_EQ(SizeText(1, 1048576, -5), "1");
    EXPECT_EQ(SizeText(2000000000, 1024, 0, true), "1,953,125");
    EXPECT_EQ(SizeText(UINT64_MAX, 1024, 0), "18014398509481984");
}

TEST(VSUBNumbers, SizeTextDecimalsRoundToNearest) {
    EXPECT_EQ(SizeText(1025, 1024, 2), "1.00");
    EXPECT_EQ(SizeText(1025, 1024, 3), "1.001");
    EXPECT_EQ(SizeText(1025, 1024, 4), "1.0010");
    EXPECT_EQ(SizeText(1025, 1024, 5), "1.0");
    EXPECT_EQ(SizeText(1536, 1024, 1), "1.5");
    EXPECT_EQ(SizeText(1587, 1024, 1), "1.5");   // 1.5498...
    EXPECT_EQ(SizeText(1588, 1024, 1), "1.6");   // 1.5507...
    EXPECT_EQ(SizeText(1280, 1024, 1), "1.3");   // exactly 1.25
    EXPECT_EQ(SizeText(1029, 1024, 2), "1.00");  // 1.00488...
    EXPECT_EQ(SizeText(1030, 1024, 2), "1.01");  // 1.00585...
    EXPECT_EQ(SizeText(1048575, 1048576, 1), "1.0");
    EXPECT_EQ(SizeText(5000000000ULL, 1048576, 1, true), "4,768.4");
}

TEST(VSUBNumbers, RadixToIntUsesDigitPositionsUnchecked) {
    EXPECT_EQ(RadixToInt("ff", 16), 255);
    EXPECT_EQ(RadixToInt(" 101 ", 2), 5);
    EXPECT_EQ(RadixToInt("12", 8), 10);
    EXPECT_EQ(RadixToInt("1A", 10), 20);  // 'A' counts 10 even in radix 10
    EXPECT_EQ(RadixToInt("G", 16, -1), -1);
    EXPECT_EQ(RadixToInt("-1", 10, 7), 7);
    EXPECT_EQ(RadixToInt("", 16, -1), 0);
    EXPECT_EQ(RadixToInt("   ", 10, -1), 0);
    EXPECT_EQ(HexToInt("0x1F"), 31);
    EXPECT_EQ(HexToInt("0XfF"), 255);
    EXPECT_EQ(HexToInt("FFFFFFFF"), 4294967295LL);
    EXPECT_EQ(HexToInt("0x", -1), 0);
    EXPECT_EQ(HexToInt("zz", -1), -1);
    EXPECT_EQ(HexToInt("0x0x1", -1), -1);
}

TEST(VSUBNumbers, ParseFloatAnyCommaRules) {
    EXPECT_DOUBLE_EQ(ParseFloatAny("1,5", -1), 1.5);
    EXPECT_DOUBLE_EQ(ParseFloatAny("1.5", -1), 1.5);
    EXPECT_DOUBLE_EQ(ParseFloatAny("1,234.5", -1), 1234.5);
    EXPECT_DOUBLE_EQ(ParseFloatAny("1.234,5", -1), 1.2345);
    EXPECT_DOUBLE_EQ(ParseFloatAny("1,234,567", -1), -1);  // becomes 1.234.567
    EXPECT_DOUBLE_EQ(ParseFloatAny("-2,25", -1), -2.25);
    EXPECT_DOUBLE_EQ(ParseFloatAny(",5", -1), 0.5);
    EXPECT_DOUBLE_EQ(ParseFloatAny("5.", -1), 5.0);
    EXPECT_DOUBLE_EQ(ParseFloatAny("1e3", -1), 1000.0);
    EXPECT_DOUBLE_EQ(ParseFloatAny("+7", -1), 7.0);
    for (const char* bad : {"", ".", ",", "abc", "1.2.3", "1e", "--1", "0x10", "inf", "nan", "1 2"}) {
        EXPECT_DOUBLE_EQ(ParseFloatAny(bad, -1), -1) << bad;
    }
}

TEST(VSUBNumbers, FloatTextFixedAndTrimZeros) {
    EXPECT_EQ(FloatText(0.5, 2, false), "0.50");
    EXPECT_EQ(FloatText(0.5, 2, true), ".5");
    EXPECT_EQ(FloatText(2, 2, true), "2");
    EXPECT_EQ(FloatText(0, 2, true), "0");
    EXPECT_EQ(FloatText(10, 2, true), "10");
    EXPECT_EQ(FloatText(100.5, 2, true), "100.5");
    EXPECT_EQ(FloatText(-0.5, 2, true), "-0.5");
    EXPECT_EQ(FloatText(20, 0, true), "20");
    EXPECT_EQ(FloatText(1.5, 2, false, ','), "1,50");
}

TEST(VSUBNumbers, FloatTextRounding) {
    EXPECT_EQ(FloatText(123456.789, 2, false), "123456.79");
    EXPECT_EQ(FloatText(0.05, 1, false), "0.1");
    EXPECT_EQ(FloatText(-1.5, 0, false), "-2");
    EXPECT_EQ(FloatText(9.999, 2, false), "10.00");
    EXPECT_EQ(FloatText(2.675, 2, false), "2.68");  // as written, not its binary neighbour
    EXPECT_EQ(FloatText(-0.001, 2, false), "0.00");
    EXPECT_EQ(FloatText(1e20, 0, false), "100000000000000000000");
    EXPECT_EQ(FloatText(1234.5, -3, false), "1235");
}

}  // namespace
