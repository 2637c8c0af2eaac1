// Separator lists, small text helpers and command-line switch lookup.
//
// Texts are 8-bit ANSI byte strings (any byte value, NUL included). Case
// folding touches ASCII letters only; trimming removes bytes <= 32.
// Parameters that are only read are string views, so that a literal argument costs
// no string of its own. Text positions are 1-based with 0 meaning "not found"; list items count
// from 0. Nothing here throws or keeps state between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// ---- basics -----------------------------------------------------------------
std::string Trim(const std::string& text);
std::string UpperCase(const std::string& text);
std::string LowerCase(const std::string& text);
bool SameText(std::string_view a, std::string_view b);
// Optional sign and decimal digits only; no blanks; overflow fails.
bool TryParseInt64(const std::string& text, int64_t& out);
int64_t StrToInt64Def(const std::string& text, int64_t def);
std::string IntToStr(int64_t value);

// ---- separator lists ----------------------------------------------------------
// A list is a text whose first byte S is its separator and which ends with S:
// "|a|b|c|" holds a, b and c; "||" holds one empty item; "|" and "" hold none.
class SUB {
public:
    static int Count(const std::string& list);
    // index -1 is the last item; an empty or missing item gives def.
    static std::string Item(const std::string& list, int index, std::string_view def = {});
    static int64_t ItemInt(const std::string& list, int index, int64_t def = 0);
    static int IndexOf(const std::string& list, const std::string& item, int notFound = -1,
                       bool prefix = false);
    static bool Contains(const std::string& list, const std::string& item, bool trim = false,
                         bool ci = true);
    static std::string Value(const std::string& list, const std::string& key, bool collapse = true,
                             std::string_view emptyValue = {}, std::string_view def = {});
    static std::string Keys(const std::string& list);
    static std::string Values(const std::string& list);
    static void KeysAndValues(const std::string& list, std::string& keys, std::string& values);
    static std::string Zip(const std::string& keys, const std::string& values, bool trim = false);
    static std::string Delete(const std::string& list, int index);
    static std::string SetItem(const std::string& list, int index, const std::string& value);
    static std::string FromArray(const std::vector<std::string>& texts, bool distinct = false);
    static std::string Append(const std::string& list, const std::vector<std::string>& texts,
                              bool distinct = false);
    static std::string Reverse(const std::string& list);
    static std::string Distinct(const std::string& list);
    static std::string TrimEmpty(const std::string& list, bool fromEnd = true, bool fromStart = false);
    static std::string Normalize(const std::string& list);
    static std::string ChangeSeparator(const std::string& list, char separator);
};

// ---- string helpers -----------------------------------------------------------
std::string ReplaceAll(const std::string& text, std::string_view oldText, std::string_view newText,
                       bool trim = false);
std::string ReplaceAllCI(const std::string& text, std::string_view oldText, std::string_view newText,
                         bool trim = false);
std::string ReplaceRepeated(const std::string& text, std::string_view oldText, std::string_view newText,
                            bool trim = false);
size_t PosCI(std::string_view sub, std::string_view text);
size_t PosFrom(std::string_view sub, std::string_view text, size_t from, bool ci = false);
size_t LastPos(std::string_view sub, std::string_view text);
bool EndsWith(std::string_view suffix, std::string_view text, bool ci = false);
bool StartsWith(std::string_view prefix, std::string_view text, bool ci = false);
bool SameTextTrimmed(const std::string& a, const std::string& b);
std::string LeftOf(const std::string& text, std::string_view sep, std::string_view def = {}, bool trim = false);
std::string RightOf(const std::string& text, std::string_view sep, std::string_view def = {}, bool trim = false);
std::string StripChar(const std::string& text, char ch, bool always = false, bool once = false);
std::string Unquote(const std::string& text, bool always = false);
std::string Quote(const std::string& text);
std::string Enclose(const std::string& text, char ch, bool strip = false);
std::string ReplaceChar(const std::string& text, char from, char to);
std::string FilterChars(const std::string& text, const std::string& allowed,
                        const std::string& removed = "");
std::string ReverseText(const std::string& text);
std::string PadLeft(const std::string& text, int width, char ch = ' ');
std::string ZeroPad(int64_t number, int width);
std::string BoolText(bool value);
std::string BoolChar(bool value);
std::string UnescapeText(const std::string& text);
// "\n" and "\t" written as two characters become CR LF and TAB. For language strings
// only: a path inserted into a text keeps its backslashes.
std::string ExpandEscapes(const std::string& text);
std::string ThousandsText(const std::string& numberText);
std::string SizeText(uint64_t bytes, uint64_t unit = 1024, int decimals = 0, bool thousands = false);
int64_t RadixToInt(const std::string& text, int radix, int64_t def = 0);
int64_t HexToInt(const std::string& text, int64_t def = 0);
double ParseFloatAny(const std::string& text, double def = 0.0);
std::string FloatText(double value, int decimals, bool trimZeros = false, char decimalSeparator = '.');

// ---- command-line switches ----------------------------------------------------
// Names are given as the caller writes them: "/SpanCdLvl=", "-x=", "/hide".
std::string ParamsTailOf(const std::string& commandLine, const std::string& programPath);
std::string SwitchList(const std::string& tail, char switchChar);
std::string ParamValueIn(const std::string& tail, const std::string& name, std::string_view def = {});
int64_t ParamIntIn(const std::string& tail, const std::string& name, int64_t def = 0);
bool HasSwitchIn(const std::string& tail, const std::string& name);

#ifdef _WIN32
// The same lookups over this process's own command line.
std::string GetParamsTail();
std::string GetParamValue(const std::string& name, std::string_view def = {});
int64_t GetParamInt(const std::string& name, int64_t def = 0);
bool HasParamSwitch(const std::string& name);
#endif
