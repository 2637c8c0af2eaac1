// Fuzz target for the separator lists, text helpers and switch lookup.
//
// Input layout: 4 control bytes, then the bytes are cut into three texts A,
// B and C (the first two control bytes give the lengths of A and B).
#include "util/SeparatorLists.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

bool HasNul(const std::string& s) { return s.find('\0') != std::string::npos; }

// A closed list whose items hold no NUL: the shape every builder keeps intact.
bool CleanList(const std::string& s) { return SUB::Count(s) > 0 && !HasNul(s); }

void ListOperations(const std::string& list, const std::string& item, const std::string& other,
                    uint8_t index, uint8_t flags) {
    const int count = SUB::Count(list);
    Check(count >= 0);

    if (!HasNul(list)) Check(SUB::Count(SUB::Normalize(list)) == count);
    (void)SUB::ChangeSeparator(list, static_cast<char>(index));

    const int limit = std::min(count, 64);
    for (int i = 0; i < limit; ++i) {
        const std::string it = SUB::Item(list, i, "");
        if (!it.empty()) Check(SUB::Contains(list, it, false, false));
    }
    if (count > 0) Check(SUB::Item(list, -1, "x") == SUB::Item(list, count - 1, "x"));
    if (count > 0) Check(SUB::Item(list, count, "dflt") == "dflt");
    (void)SUB::ItemInt(list, index % 8, -1);

    const int found = SUB::IndexOf(list, item, -1, (flags & 1) != 0);
    const unsigned char sep = list.empty() ? 0 : static_cast<unsigned char>(list[0]);
    const bool letter = (sep | 32) >= 'a' && (sep | 32) <= 'z';
    if (found >= 0 && CleanList(list) && sep > 32 && !letter) Check(found < count);
    (void)SUB::Contains(list, item, (flags & 2) != 0, (flags & 4) != 0);
    (void)SUB::Value(list, item, (flags & 8) != 0, "E", "D");

    std::string keys, values;
    SUB::KeysAndValues(list, keys, values);
    if (CleanList(list)) {
        Check(SUB::Count(keys) == count);
        Check(SUB::Count(values) == count);
    }
    const std::string zipped = SUB::Zip(list, other, (flags & 16) != 0);
    if (CleanList(list) && CleanList(other) && (flags & 16) == 0)
        Check(SUB::Count(zipped) == std::max(count, SUB::Count(other)));

    if (count > 0) {
        const std::string reversed = SUB::Reverse(list);
        Check(SUB::Count(reversed) == count);
        Check(SUB::Reverse(reversed) == list);
        Check(SUB::Count(SUB::Delete(list, index % count)) == count - 1);
    }
    Check(SUB::Delete(list, count) == list);
    Check(SUB::Count(SUB::Distinct(list)) <= count);
    const std::string trimmed = SUB::TrimEmpty(list, (flags & 32) != 0, (flags & 64) != 0);
    if (count > 0) Check(SUB::Count(trimmed) <= count);

    const int at = index % 16;
    const std::string set = SUB::SetItem(list, at, item);
    if (!HasNul(list) && !HasNul(item)) {
        const int expected = std::max(list.empty() ? 0 : count, at + 1);
        Check(SUB::Count(set) == expected);
        // With all ten candidates taken the separators stay NUL, which Item cannot read.
        if (!item.empty() && set[0] != '\0') Check(SUB::Item(set, at, "") == item);
    }

    const std::vector<std::string> texts = {item, other, list.substr(0, index % 32)};
    const std::string built = SUB::FromArray(texts, (flags & 128) != 0);
    if ((flags & 128) == 0 && !HasNul(item) && !HasNul(other) && !HasNul(list))
        Check(SUB::Count(built) == 3);
    (void)SUB::Append(list, texts, (flags & 128) != 0);
}

void StringOperations(const std::string& a, const std::string& b, const std::string& c, uint8_t n,
                      uint8_t flags) {
    const bool ci = (flags & 1) != 0;
    const bool trim = (flags & 2) != 0;
    (void)ReplaceAll(a, b, c, trim);
    (void)ReplaceAllCI(a, b, c, trim);
    (void)ReplaceRepeated(a, b, c, trim);
    if (!a.empty() && !b.empty()) {
        const char ch = b[0];
        Check(ReplaceAll(a, std::string(1, ch), "").find(ch) == std::string::npos);
        Check(ReplaceRepeated(a, std::string(1, ch), "").find(ch) == std::string::npos);
    }

    const size_t p = PosFrom(b, a, n, ci);
    Check(p == 0 || (p >= n && p + b.size() - 1 <= a.size()));
    const size_t last = LastPos(b, a);
    Check(last == 0 || a.compare(last - 1, b.size(), b) == 0);
    const size_t pci = PosCI(b, a);
    Check((pci == 0) == (PosCI(UpperCase(b), LowerCase(a)) == 0));
    Check(StartsWith(b, a, ci) == (!b.empty() ? PosFrom(b, a.substr(0, b.size()), 1, ci) == 1 : true));
    (void)EndsWith(b, a, ci);
    (void)SameTextTrimmed(a, b);
    Check(UpperCase(LowerCase(a)) == UpperCase(a));
    Check(SameText(a, LowerCase(a)));

    const std::string left = LeftOf(a, b, "D", trim);
    const std::string right = RightOf(a, b, "D", trim);
    if (!trim && PosFrom(b, a, 1) > 0) Check(left + b + right == a);

    const char ch = static_cast<char>(n);
    Check(StripChar(a, ch, ci, trim).size() <= a.size());
    (void)Unquote(a, ci);
    const std::string quoted = Quote(a);
    Check(quoted.size() >= 2 && quoted.front() == '"' && quoted.back() == '"');
    Check(Enclose(a, ch, trim).size() >= 2);
    Check(ReplaceChar(a, ch, 'x').find(ch) == std::string::npos || ch == 'x');
    Check(FilterChars(a, b, c).size() <= a.size());
    Check(ReverseText(ReverseText(a)) == a);

    const int width = static_cast<int8_t>(n);
    const std::string padded = PadLeft(a, width, '.');
    if (width >= 0)
        Check(padded.size() == std::max(a.size(), static_cast<size_t>(width)));
    else if (width <= -3)
        Check(padded.size() == static_cast<size_t>(-width));
    else
        Check(padded == a);

    (void)UnescapeText(a);
    if (a.find(',') == std::string::npos) Check(FilterChars(ThousandsText(a), "", ",") == a);
    (void)RadixToInt(a, static_cast<int8_t>(n), -1);
    (void)HexToInt(a, -1);

    const double parsed = ParseFloatAny(a, 0.0);
    (void)FloatText(parsed, static_cast<int8_t>(n) % 24, trim, ci ? ',' : '.');
    if (b.size() >= sizeof(double)) {
        double raw;
        std::memcpy(&raw, b.data(), sizeof raw);
        (void)FloatText(raw, n % 20, trim);
    }
    int64_t number = 0;
    if (TryParseInt64(a, number) && a[0] >= '1' && a[0] <= '9') Check(IntToStr(number) == a);
    (void)StrToInt64Def(a, 0);
    (void)ZeroPad(number, n % 32);
    uint64_t bytes = 0;
    std::memcpy(&bytes, c.data(), std::min(c.size(), sizeof bytes));
    const uint64_t units[] = {1024, 1048576, 0, 1, 3, UINT64_MAX};
    (void)SizeText(bytes, units[n % 6], static_cast<int8_t>(flags) % 8, trim);
    (void)BoolText(ci);
    (void)BoolChar(ci);
}

void SwitchOperations(const std::string& line, const std::string& path, const std::string& name) {
    const std::string tail = ParamsTailOf(line, path);
    Check(tail.size() <= line.size());
    Check(tail == Trim(tail));
    (void)SwitchList(tail, '/');
    (void)SwitchList(tail, '-');
    const std::string value = ParamValueIn(tail, name, "D");
    Check(value == Trim(value));
    (void)ParamIntIn(tail, name, -1);
    (void)HasSwitchIn(tail, name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint8_t lenA = data[0], lenB = data[1], n = data[2], flags = data[3];
    const char* rest = reinterpret_cast<const char*>(data + 4);
    size_t left = size - 4;
    const size_t na = std::min<size_t>(lenA, left);
    const std::string a(rest, na);
    left -= na;
    const size_t nb = std::min<size_t>(lenB, left);
    const std::string b(rest + na, nb);
    const std::string c(rest + na + nb, left - nb);

    ListOperations(a, b, c, n, flags);
    ListOperations(c, b, a, n, flags);
    StringOperations(a, b, c, n, flags);
    StringOperations(c, b, a, n, flags);
    SwitchOperations(c, a, b);
    return 0;
}
