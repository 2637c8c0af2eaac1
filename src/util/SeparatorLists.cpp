#include "util/SeparatorLists.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr size_t npos = std::string::npos;

// Key lookups in lists ignore case; nothing in the program switches this off.
constexpr bool kKeysIgnoreCase = true;

// Tried in this order when a list needs a separator that no item contains.
constexpr char kCandidates[] = {'|', '*', '~', '^', '!', '@', '#', '$', '&', '\xFF'};

// Separator of the internal switch list; it cannot be typed on a command line.
constexpr char kSwitchSep = '\x01';

inline unsigned char Byte(char c) { return static_cast<unsigned char>(c); }
inline char Up(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
inline char Low(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool EqualBytes(const char* a, const char* b, size_t n, bool ci) {
    if (!ci) return n == 0 || std::memcmp(a, b, n) == 0;
    for (size_t i = 0; i < n; ++i)
        if (Up(a[i]) != Up(b[i])) return false;
    return true;
}

// Substring search whose first byte is checked through a 256-bit set (both
// letter cases when ignoring case) before the rest is compared.
class Finder {
public:
    Finder(std::string_view pattern, bool ci) : pat_(pattern), ci_(ci) {
        if (pat_.empty()) return;
        Add(pat_[0]);
        if (ci) {
            Add(Up(pat_[0]));
            Add(Low(pat_[0]));
        }
    }
    // 0-based index of the first match starting at or after from.
    size_t Find(std::string_view text, size_t from) const {
        const size_t m = pat_.size();
        if (m == 0 || text.size() < m) return npos;
        for (size_t i = from, last = text.size() - m; i <= last; ++i)
            if (Has(text[i]) && EqualBytes(text.data() + i + 1, pat_.data() + 1, m - 1, ci_)) return i;
        return npos;
    }

private:
    void Add(char c) { bits_[Byte(c) >> 5] |= 1u << (Byte(c) & 31); }
    bool Has(char c) const { return (bits_[Byte(c) >> 5] >> (Byte(c) & 31)) & 1u; }

    std::string_view pat_;
    bool ci_;
    uint32_t bits_[8] = {};
};

size_t Find(std::string_view text, std::string_view sub, bool ci, size_t from = 0) {
    return Finder(sub, ci).Find(text, from);
}

// Replaces occurrences number firstOcc..lastOcc (1-based) of oldText. The
// output grows by a factor of four so long texts with many hits stay linear.
std::string ReplaceCore(const std::string& text, std::string_view oldText, std::string_view newText,
                        bool ci, size_t firstOcc = 1, size_t lastOcc = SIZE_MAX) {
    if (text.empty() || oldText.empty()) return text;
    const Finder finder(oldText, ci);
    std::string out;
    out.reserve(text.size());
    auto put = [&out](const char* p, size_t n) {
        if (out.size() + n > out.capacity()) out.reserve(std::max(out.capacity() * 4, out.size() + n));
        out.append(p, n);
    };
    size_t pos = 0;
    size_t number = 0;
    for (size_t hit; (hit = finder.Find(text, pos)) != npos;) {
        if (++number > lastOcc) break;
        put(text.data() + pos, hit - pos);
        if (number >= firstOcc)
            put(newText.data(), newText.size());
        else
            put(text.data() + hit, oldText.size());
        pos = hit + oldText.size();
    }
    put(text.data() + pos, text.size() - pos);
    out.shrink_to_fit();
    return out;
}

std::string_view TrimView(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && Byte(s[b]) <= 32) ++b;
    while (e > b && Byte(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

// Items of a well-formed list; bytes inside items (NUL too) are kept as they are.
std::vector<std::string_view> SplitItems(const std::string& list) {
    std::vector<std::string_view> items;
    if (SUB::Count(list) == 0) return items;
    const char sep = list[0];
    size_t start = 1;
    for (size_t i = 1; i < list.size(); ++i)
        if (list[i] == sep) {
            items.emplace_back(list.data() + start, i - start);
            start = i + 1;
        }
    return items;
}

// Lists are assembled with NUL separators first, so that Normalize can then
// pick a separator that none of the new items contains.
class NulList {
public:
    void Add(std::string_view item) {
        text_.append(item.data(), item.size());
        text_.push_back('\0');
    }
    const std::string& Text() const { return text_; }
    std::string Normalized() const { return SUB::Normalize(text_); }

private:
    std::string text_ = std::string(1, '\0');
};

std::string JoinItems(const std::vector<std::string_view>& items, char sep) {
    std::string out(1, sep);
    for (std::string_view it : items) {
        out.append(it.data(), it.size());
        out.push_back(sep);
    }
    return out;
}

std::string_view KeyPart(std::string_view item) {
    const size_t eq = item.find('=');
    return eq == npos ? std::string_view() : item.substr(0, eq);
}

std::string_view ValuePart(std::string_view item) {
    const size_t eq = item.find('=');
    return eq == npos ? std::string_view() : item.substr(eq + 1);
}

std::string ProgramFileName(const std::string& path) {
    const size_t cut = path.find_last_of("\\/");
    return cut == npos ? path : path.substr(cut + 1);
}

// Fixed-point digits of |value| rounded half away from zero, taken from its
// 15 significant decimal digits so that 2.675 reads as the user wrote it.
std::string FixedDigits(double value, int decimals, size_t& intLen) {
    char buf[64] = {};
#ifdef _WIN32
    // msvcrt.dll's own formatter: MinGW's static printf would add 20 KB to the stub.
    _snprintf(buf, sizeof buf - 1, "%.14e", std::fabs(value));
#else
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
#endif
    std::string digits;
    const char* p = buf;
    for (; *p != '\0' && *p != 'e' && *p != 'E'; ++p)
        if (*p >= '0' && *p <= '9') digits.push_back(*p);
    const long exp10 = *p != '\0' ? std::strtol(p + 1, nullptr, 10) : 0;
    if (exp10 < 0) {
        digits.insert(0, static_cast<size_t>(-exp10), '0');
        intLen = 1;
    } else {
        intLen = static_cast<size_t>(exp10) + 1;
    }
    const size_t keep = intLen + static_cast<size_t>(decimals);
    if (digits.size() <= keep) digits.resize(keep + 1, '0');
    const bool roundUp = digits[keep] >= '5';
    digits.resize(keep);
    if (roundUp) {
        size_t i = keep;
        while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
        if (i > 0) {
            ++digits[i - 1];
        } else {
            digits.insert(0, 1, '1');
            ++intLen;
        }
    }
    while (intLen > 1 && digits[0] == '0') {
        digits.erase(0, 1);
        --intLen;
    }
    return digits;
}

// floor(10 * rem / unit) and its remainder for rem < unit, without overflow.
uint64_t NextDigit(uint64_t& rem, uint64_t unit) {
    uint64_t q = 0, acc = 0;
    for (int i = 0; i < 10; ++i) {
        if (acc >= unit - rem) {
            acc -= unit - rem;
            ++q;
        } else {
            acc += rem;
        }
    }
    rem = acc;
    return q;
}

}  // namespace

// ---- basics -----------------------------------------------------------------

std::string Trim(const std::string& text) { return std::string(TrimView(text)); }

std::string UpperCase(const std::string& text) {
    std::string r = text;
    for (char& c : r) c = Up(c);
    return r;
}

std::string LowerCase(const std::string& text) {
    std::string r = text;
    for (char& c : r) c = Low(c);
    return r;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && EqualBytes(a.data(), b.data(), a.size(), true);
}

bool TryParseInt64(const std::string& text, int64_t& out) {
    size_t i = 0;
    const bool neg = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) i = 1;
    if (i >= text.size()) return false;
    const uint64_t limit = neg ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return false;
        const uint64_t d = static_cast<uint64_t>(c - '0');
        if (v > (limit - d) / 10) return false;
        v = v * 10 + d;
    }
    out = neg ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
    return true;
}

int64_t StrToInt64Def(const std::string& text, int64_t def) {
    int64_t v = 0;
    return TryParseInt64(Trim(text), v) ? v : def;
}

std::string IntToStr(int64_t value) { return std::to_string(static_cast<long long>(value)); }

// ---- separator lists ----------------------------------------------------------

int SUB::Count(const std::string& list) {
    if (list.size() < 2 || list.back() != list.front()) return 0;
    return static_cast<int>(std::count(list.begin(), list.end(), list[0]) - 1);
}

std::string SUB::Item(const std::string& list, int index, std::string_view def) {
    if (list.size() == 1 && list[0] == '\0') return std::string(def);
    if (index == -1) index = Count(list) - 1;
    if (index < 0 || list.empty()) return std::string(def);
    const char sep = list[0];
    int number = 0;
    size_t start = 1;
    for (size_t i = 1; i < list.size() && list[i] != '\0'; ++i) {
        if (list[i] != sep) continue;
        if (number == index) return i == start ? std::string(def) : list.substr(start, i - start);
        ++number;
        start = i + 1;
    }
    return std::string(def);
}

int64_t SUB::ItemInt(const std::string& list, int index, int64_t def) {
    return StrToInt64Def(Item(list, index, ""), def);
}

int SUB::IndexOf(const std::string& list, const std::string& item, int notFound, bool prefix) {
    const std::string l = UpperCase(Trim(list));
    if (l.empty()) return notFound;
    const char sep = l[0];
    auto search = [&](const std::string& it) {
        std::string needle = sep + UpperCase(it);
        if (!prefix) needle.push_back(sep);
        return l.find(needle);
    };
    size_t p = search(item);
    if (p == npos) p = search(Trim(item));
    if (p == npos) return notFound;
    // Separators at 1-based positions 2..p, the hit's own leading one included.
    return static_cast<int>(std::count(l.begin() + 1, l.begin() + static_cast<std::ptrdiff_t>(p) + 1, sep));
}

bool SUB::Contains(const std::string& list, const std::string& item, bool trim, bool ci) {
    if (list.empty()) return false;
    const std::string needle = list[0] + (trim ? Trim(item) : item) + list[0];
    return Find(list, needle, ci) != npos;
}

std::string SUB::Value(const std::string& list, const std::string& key, bool collapse,
                       std::string_view emptyValue, std::string_view def) {
    if (list.size() <= 2 || list.back() != list.front()) return std::string(def);
    const char sep = list[0];
    std::string k = sep + key;
    if (k.back() != '=' || key == "=") k.push_back('=');
    std::string l = list;
    if (l.find(' ') != npos) {
        if (collapse) {
            l = ReplaceRepeated(l, " =", "=");
        } else if (const size_t eq = l.find('='); eq != npos) {
            size_t b = eq;
            while (b > 0 && l[b - 1] == ' ') --b;
            l.erase(b, eq - b);
        }
    }
    const size_t p = Find(l, k, kKeysIgnoreCase);
    if (p == npos) return std::string(def);
    const size_t start = p + k.size();
    const size_t end = l.find(sep, start);
    std::string v = l.substr(start, end == npos ? npos : end - start);
    return v.empty() ? std::string(emptyValue) : v;
}

std::string SUB::Keys(const std::string& list) {
    NulList out;
    for (std::string_view it : SplitItems(list)) out.Add(KeyPart(it));
    return out.Normalized();
}

std::string SUB::Values(const std::string& list) {
    NulList out;
    for (std::string_view it : SplitItems(list)) out.Add(ValuePart(it));
    return out.Normalized();
}

void SUB::KeysAndValues(const std::string& list, std::string& keys, std::string& values) {
    keys = Keys(list);
    values = Values(list);
}

std::string SUB::Zip(const std::string& keys, const std::string& values, bool trim) {
    const std::string k = trim ? TrimEmpty(keys) : keys;
    const std::string v = trim ? TrimEmpty(values) : values;
    const auto ki = SplitItems(k), vi = SplitItems(v);
    NulList out;
    std::string item;
    for (size_t i = 0, n = std::max(ki.size(), vi.size()); i < n; ++i) {
        item.clear();
        if (i < ki.size()) item.append(ki[i]);
        item.push_back('=');
        if (i < vi.size()) item.append(vi[i]);
        out.Add(item);
    }
    return out.Normalized();
}

std::string SUB::Delete(const std::string& list, int index) {
    if (index < 0 || index >= Count(list)) return list;
    const char sep = list[0];
    int number = 0;
    size_t start = 1;
    for (size_t i = 1; i < list.size(); ++i) {
        if (list[i] != sep) continue;
        if (number == index) return list.substr(0, start) + list.substr(i + 1);
        ++number;
        start = i + 1;
    }
    return list;
}

std::string SUB::SetItem(const std::string& list, int index, const std::string& value) {
    if (index < 0) return list;
    const std::string l = list.empty() ? std::string("|") : list;
    const char sep = l[0];
    const auto items = SplitItems(l);
    const size_t n = std::max(items.size(), static_cast<size_t>(index) + 1);
    NulList out;
    bool sepInItems = false;
    for (size_t i = 0; i < n; ++i) {
        const std::string_view it = i == static_cast<size_t>(index) ? std::string_view(value)
                                    : i < items.size()               ? items[i]
                                                                     : std::string_view();
        sepInItems = sepInItems || it.find(sep) != npos;
        out.Add(it);
    }
    if (sepInItems) return out.Normalized();
    std::string r = out.Text();
    std::replace(r.begin(), r.end(), '\0', sep);
    return r;
}

std::string SUB::FromArray(const std::vector<std::string>& texts, bool distinct) {
    NulList out;
    for (const std::string& t : texts) out.Add(t);
    const std::string r = out.Normalized();
    return distinct ? Distinct(r) : r;
}

std::string SUB::Append(const std::string& list, const std::vector<std::string>& texts, bool distinct) {
    if (Count(list) == 0) return FromArray(texts, distinct);
    const char sep = list[0];
    const bool clash = std::any_of(texts.begin(), texts.end(),
                                   [sep](const std::string& t) { return t.find(sep) != npos; });
    std::string r;
    if (!clash) {
        r = list;
        for (const std::string& t : texts) r += t + sep;
    } else {
        NulList out;
        for (std::string_view it : SplitItems(list)) out.Add(it);
        for (const std::string& t : texts) out.Add(t);
        r = out.Normalized();
    }
    return distinct ? Distinct(r) : r;
}

std::string SUB::Reverse(const std::string& list) {
    auto items = SplitItems(list);
    if (items.empty()) return list;
    std::reverse(items.begin(), items.end());
    return JoinItems(items, list[0]);
}

std::string SUB::Distinct(const std::string& list) {
    // Keys sorted with their positions (O(n log n) on any list); the first of each
    // run of equal keys is kept, in list order. A sorted vector instead of a hash
    // set keeps the hash tables out of the stub.
    const auto items = SplitItems(list);
    std::vector<std::pair<std::string, size_t>> keys;
    keys.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        std::string key = UpperCase(std::string(TrimView(items[i])));
        if (!key.empty()) keys.emplace_back(std::move(key), i);
    }
    std::sort(keys.begin(), keys.end());
    std::vector<bool> keep(items.size(), false);
    for (size_t k = 0; k < keys.size(); ++k)
        if (k == 0 || keys[k].first != keys[k - 1].first) keep[keys[k].second] = true;
    std::vector<std::string_view> kept;
    for (size_t i = 0; i < items.size(); ++i)
        if (keep[i]) kept.push_back(items[i]);
    return kept.empty() ? std::string() : JoinItems(kept, list[0]);
}

std::string SUB::TrimEmpty(const std::string& list, bool fromEnd, bool fromStart) {
    if (list.empty()) return list;
    const char sep = list[0];
    size_t b = 0, e = list.size();
    if (fromEnd)
        while (e >= 2 && list[e - 1] == sep && list[e - 2] == sep) --e;
    if (fromStart)
        while (b + 1 < e && list[b] == sep && list[b + 1] == sep) ++b;
    return e - b == 1 ? std::string() : list.substr(b, e - b);
}

std::string SUB::Normalize(const std::string& list) {
    if (list.empty()) return list;
    std::string r = list;
    const char sep = r[0];
    if (r.find('\0') == npos) std::replace(r.begin(), r.end(), sep, '\0');
    bool present[256] = {};
    for (char c : r) present[Byte(c)] = true;
    for (char c : kCandidates)
        if (!present[Byte(c)]) {
            std::replace(r.begin(), r.end(), '\0', c);
            break;
        }
    return r.size() == 1 ? std::string() : r;
}

std::string SUB::ChangeSeparator(const std::string& list, char separator) {
    if (list.empty()) return list;
    std::string r = list;
    std::replace(r.begin(), r.end(), list[0], separator);
    return r;
}

// ---- string helpers -----------------------------------------------------------

std::string ReplaceAll(const std::string& text, std::string_view oldText, std::string_view newText,
                       bool trim) {
    if (text.empty() || oldText.empty()) return text;
    std::string r = ReplaceCore(text, oldText, newText, false);
    return trim ? Trim(r) : r;
}

std::string ReplaceAllCI(const std::string& text, std::string_view oldText, std::string_view newText,
                         bool trim) {
    if (text.empty() || oldText.empty()) return text;
    std::string r = ReplaceCore(text, oldText, newText, true);
    return trim ? Trim(r) : r;
}

// Replacing the first occurrence again and again is done in one pass: the
// processed part never holds an occurrence, so a new one can only end in the
// byte just moved over, and the replacement is pushed back in front of the
// rest. Rules whose replacements keep creating new occurrences (never
// shrinking) could run forever or grow without limit, so the work is capped.
std::string ReplaceRepeated(const std::string& text, std::string_view oldText, std::string_view newText,
                            bool trim) {
    if (text.empty() || oldText.empty()) return text;
    std::string out;
    if (newText.find(oldText) != npos) {
        out = text;
    } else {
        const size_t m = oldText.size();
        std::string pending(text.rbegin(), text.rend());  // next byte at the back
        size_t budget = (size_t{1} << 20) + 16 * (text.size() + newText.size() + m);
        out.reserve(text.size());
        while (!pending.empty() && budget > 0) {
            --budget;
            out.push_back(pending.back());
            pending.pop_back();
            if (out.size() < m || out.back() != oldText.back()) continue;
            budget -= std::min(budget, m);
            if (std::memcmp(out.data() + out.size() - m, oldText.data(), m) != 0) continue;
            out.resize(out.size() - m);
            pending.append(newText.rbegin(), newText.rend());
            budget -= std::min(budget, newText.size());
        }
        out.append(pending.rbegin(), pending.rend());
    }
    return trim ? Trim(out) : out;
}

size_t PosCI(std::string_view sub, std::string_view text) { return PosFrom(sub, text, 1, true); }

size_t PosFrom(std::string_view sub, std::string_view text, size_t from, bool ci) {
    if (from < 1 || sub.empty() || text.empty()) return 0;
    const size_t p = Find(text, sub, ci, from - 1);
    return p == npos ? 0 : p + 1;
}

size_t LastPos(std::string_view sub, std::string_view text) {
    const size_t p = sub.empty() ? npos : text.rfind(sub);
    return p == npos ? 0 : p + 1;
}

bool EndsWith(std::string_view suffix, std::string_view text, bool ci) {
    return suffix.size() <= text.size() &&
           EqualBytes(text.data() + text.size() - suffix.size(), suffix.data(), suffix.size(), ci);
}

bool StartsWith(std::string_view prefix, std::string_view text, bool ci) {
    return prefix.size() <= text.size() && EqualBytes(text.data(), prefix.data(), prefix.size(), ci);
}

bool SameTextTrimmed(const std::string& a, const std::string& b) {
    return UpperCase(Trim(a)) == UpperCase(Trim(b));
}

std::string LeftOf(const std::string& text, std::string_view sep, std::string_view def, bool trim) {
    const size_t p = sep.empty() ? npos : text.find(sep);
    if (p == npos) return std::string(def);
    std::string r = text.substr(0, p);
    return trim ? Trim(r) : r;
}

std::string RightOf(const std::string& text, std::string_view sep, std::string_view def, bool trim) {
    const size_t p = sep.empty() ? npos : text.find(sep);
    if (p == npos) return std::string(def);
    std::string r = text.substr(p + sep.size());
    return trim ? Trim(r) : r;
}

std::string StripChar(const std::string& text, char ch, bool always, bool once) {
    if (text.size() == 1 && text[0] == ch) return std::string();
    if (text.empty() || (!always && !(text.front() == ch && text.back() == ch))) return text;
    size_t b = 0, e = text.size();
    if (once) {
        if (text[b] == ch) ++b;
        if (e > b && text[e - 1] == ch) --e;
    } else {
        while (b < e && text[b] == ch) ++b;
        while (e > b && text[e - 1] == ch) --e;
    }
    return text.substr(b, e - b);
}

std::string Unquote(const std::string& text, bool always) { return StripChar(Trim(text), '"', always, false); }

std::string Quote(const std::string& text) { return '"' + Unquote(text, true) + '"'; }

std::string Enclose(const std::string& text, char ch, bool strip) {
    return ch + (strip ? StripChar(text, ch, true, false) : text) + ch;
}

std::string ReplaceChar(const std::string& text, char from, char to) {
    std::string r = text;
    if (from != to) std::replace(r.begin(), r.end(), from, to);
    return r;
}

std::string FilterChars(const std::string& text, const std::string& allowed, const std::string& removed) {
    bool keep[256];
    std::fill(std::begin(keep), std::end(keep), allowed.empty());
    for (char c : allowed) keep[Byte(c)] = true;
    for (char c : removed) keep[Byte(c)] = false;
    std::string r;
    for (char c : text)
        if (keep[Byte(c)]) r.push_back(c);
    return r;
}

std::string ReverseText(const std::string& text) { return std::string(text.rbegin(), text.rend()); }

std::string PadLeft(const std::string& text, int width, char ch) {
    int64_t w = width;
    std::string r = text;
    if (w <= -3) {
        w = -w;
        if (static_cast<int64_t>(r.size()) > w) {
            r.resize(static_cast<size_t>(w - 1));
            r.push_back('.');
        }
    }
    if (static_cast<int64_t>(r.size()) < w) r.insert(0, static_cast<size_t>(w) - r.size(), ch);
    return r;
}

std::string ZeroPad(int64_t number, int width) {
    std::string r = IntToStr(number);
    if (width > 0 && r.size() < static_cast<size_t>(width)) r.insert(0, static_cast<size_t>(width) - r.size(), '0');
    return r;
}

std::string BoolText(bool value) { return value ? "TRUE" : "FALSE"; }

std::string BoolChar(bool value) { return value ? "1" : "0"; }

std::string UnescapeText(const std::string& text) {
    std::string r = ReplaceAll(text, "\\\\n", "\r\n");
    r = ReplaceAllCI(r, "<P>", "\r\n");
    r = ReplaceAll(r, "\\\\t", "\t");
    return ReplaceAllCI(r, "<T>", "\t");
}

std::string ExpandEscapes(const std::string& text) {
    return ReplaceAll(ReplaceAll(text, "\\n", "\r\n"), "\\t", "\t");
}

std::string ThousandsText(const std::string& numberText) {
    const size_t dot = numberText.find('.');
    // 1-based position of the first comma; further ones every 3 bytes to the left.
    const int64_t first = static_cast<int64_t>(dot == npos ? numberText.size() + 1 : dot + 1) - 3;
    std::string r;
    r.reserve(numberText.size() + numberText.size() / 3 + 1);
    for (size_t i = 0; i < numberText.size(); ++i) {
        const int64_t pos = static_cast<int64_t>(i) + 1;
        if (pos > 1 && pos <= first && (first - pos) % 3 == 0) r.push_back(',');
        r.push_back(numberText[i]);
    }
    return r;
}

std::string SizeText(uint64_t bytes, uint64_t unit, int decimals, bool thousands) {
    if (unit == 0) unit = 1;
    uint64_t whole = bytes / unit;
    uint64_t rem = bytes % unit;
    std::string r;
    if (decimals < 1) {
        r = std::to_string(whole + (rem != 0 ? 1 : 0));
    } else {
        const int places = (decimals >= 2 && decimals <= 4) ? decimals : 1;
        std::string frac;
        for (int i = 0; i < places; ++i) frac.push_back(static_cast<char>('0' + NextDigit(rem, unit)));
        if (rem >= unit - rem) {  // half or more of the last place: round up
            int i = places - 1;
            while (i >= 0 && frac[static_cast<size_t>(i)] == '9') frac[static_cast<size_t>(i--)] = '0';
            if (i >= 0)
                ++frac[static_cast<size_t>(i)];
            else
                ++whole;
        }
        r = std::to_string(whole) + '.' + frac;
    }
    return thousands ? ThousandsText(r) : r;
}

int64_t RadixToInt(const std::string& text, int radix, int64_t def) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    // Wrapping arithmetic: an over-long number gives its low 64 bits.
    const uint64_t base = static_cast<uint64_t>(static_cast<int64_t>(radix));
    const std::string t = Trim(UpperCase(text));
    uint64_t v = 0;
    for (char c : t) {
        const char* d = c != '\0' ? std::strchr(kDigits, c) : nullptr;
        if (d == nullptr) return def;
        v = v * base + static_cast<uint64_t>(d - kDigits);
    }
    return static_cast<int64_t>(v);
}

int64_t HexToInt(const std::string& text, int64_t def) {
    std::string t = Trim(text);
    if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t.erase(0, 2);
    return RadixToInt(t, 16, def);
}

double ParseFloatAny(const std::string& text, double def) {
    std::string t;
    const bool hasDot = text.find('.') != npos;
    for (char c : text) {
        if (c != ',')
            t.push_back(c);
        else if (!hasDot)
            t.push_back('.');
    }
    const std::string_view s = TrimView(t);
    // Accepted: [sign] digits [. digits] [e [sign] digits], at least one mantissa digit.
    size_t i = 0;
    const bool neg = !s.empty() && s[0] == '-';
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) i = 1;
    const size_t body = i;
    size_t mantissaDigits = 0;
    auto digitsAt = [&s](size_t& k) {
        size_t n = 0;
        for (; k < s.size() && s[k] >= '0' && s[k] <= '9'; ++k) ++n;
        return n;
    };
    mantissaDigits += digitsAt(i);
    if (i < s.size() && s[i] == '.') {
        ++i;
        mantissaDigits += digitsAt(i);
    }
    if (mantissaDigits == 0) return def;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (digitsAt(i) == 0) return def;
    }
    if (i != s.size()) return def;
    // Only a checked plain decimal reaches strtod; it reads the C locale's point.
    std::string num(s.substr(body));
    const char point = *std::localeconv()->decimal_point;
    if (point != '.' && point != '\0') std::replace(num.begin(), num.end(), '.', point);
#ifdef _WIN32
    // msvcrt.dll's atof (the syntax is checked above): MinGW's strtod is 15 KB.
    const double v = std::atof(num.c_str());
    if (std::isinf(v)) return def;
#else
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(num.c_str(), &end);
    if (end != num.c_str() + num.size() || (errno == ERANGE && std::isinf(v))) return def;
#endif
    return neg ? -v : v;
}

std::string FloatText(double value, int decimals, bool trimZeros, char decimalSeparator) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    decimals = std::clamp(decimals, 0, 18);
    size_t intLen = 0;
    const std::string digits = FixedDigits(value, decimals, intLen);
    const bool zero = digits.find_first_not_of('0') == npos;
    std::string r = (value < 0 && !zero) ? "-" : "";
    r.append(digits, 0, intLen);
    if (decimals > 0) {
        r.push_back(decimalSeparator);
        r.append(digits, intLen, npos);
    }
    if (trimZeros && r.find('.') != npos) {
        const size_t b = r.find_first_not_of('0');
        const size_t e = r.find_last_not_of('0');
        r = r.substr(b, e - b + 1);  // the '.' itself bounds both ends
        if (r.size() > 1 && r.back() == '.') r.pop_back();
        if (r == ".") r = "0";
    }
    return r;
}

// ---- command-line switches ----------------------------------------------------

std::string ParamsTailOf(const std::string& commandLine, const std::string& programPath) {
    std::string t = commandLine;
    const std::string name = ProgramFileName(programPath);
    // Cuts t after the program name; a single stray byte left over is no parameter.
    auto cutAfter = [&t](size_t pos1, size_t len) {
        t.erase(0, pos1 - 1 + len);
        if (TrimView(t).size() == 1) t.clear();
    };
    if (const size_t p = PosCI(name + '"', t); p > 0) {
        cutAfter(p, name.size() + 1);
    } else if (const size_t q = PosCI(name, t); q > 0) {
        cutAfter(q, name.size());
    } else if (const size_t r = PosCI(programPath, t); r > 0) {
        t.erase(r - 1, programPath.size());
    }
    return Trim(t);
}

std::string SwitchList(const std::string& tail, char switchChar) {
    std::string t = ' ' + tail;
    t.erase(std::remove(t.begin(), t.end(), '"'), t.end());
    t = ReplaceAll(t, std::string{' ', switchChar}, std::string(1, kSwitchSep));
    return kSwitchSep + t + kSwitchSep;
}

std::string ParamValueIn(const std::string& tail, const std::string& name, std::string_view def) {
    std::string n = Trim(name);
    if (n.empty()) return std::string(def);
    const char switchChar = (n[0] == '-' || n[0] == '/') ? n[0] : '/';
    n.erase(std::remove(n.begin(), n.end(), switchChar), n.end());
    return Trim(SUB::Value(SwitchList(tail, switchChar), n, true, "", def));
}

int64_t ParamIntIn(const std::string& tail, const std::string& name, int64_t def) {
    return StrToInt64Def(ParamValueIn(tail, name, ""), def);
}

bool HasSwitchIn(const std::string& tail, const std::string& name) {
    return PosCI(Trim(name) + ' ', tail + ' ') > 0;
}
