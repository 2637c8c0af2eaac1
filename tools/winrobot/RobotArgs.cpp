#include "RobotArgs.h"

#include <algorithm>
#include <cstdio>

namespace {

char Fold(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

bool SameAscii(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

// Decimal digits only, bounded; no sign, no blanks.
bool ParseCount(const std::string& text, int64_t maxValue, int64_t& out) {
    if (text.empty() || text.size() > 18) return false;
    int64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > maxValue) return false;
    out = v;
    return true;
}

// "0x1A2B" or decimal; window handles are 32 bits wide in a 32-bit process.
bool ParseHandle(const std::string& text, uint64_t& out) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        if (text.size() > 10) return false;
        uint64_t v = 0;
        for (size_t i = 2; i < text.size(); ++i) {
            char c = Fold(text[i]);
            int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
            if (d < 0) return false;
            v = v * 16 + unsigned(d);
        }
        out = v;
        return v != 0;
    }
    int64_t v = 0;
    if (!ParseCount(text, 0xFFFFFFFFLL, v) || v == 0) return false;
    out = uint64_t(v);
    return true;
}

// A 32-bit value, decimal or 0x hex; 0 allowed.
bool ParseWord(const std::string& text, uint64_t& out) {
    if (text == "0" || text == "0x0") {
        out = 0;
        return true;
    }
    return ParseHandle(text, out);
}


struct NamedKey {
    const char* name;
    unsigned vk;
};
constexpr NamedKey kNamedKeys[] = {
    {"{ENTER}", 0x0D}, {"{ESC}", 0x1B},  {"{TAB}", 0x09},  {"{LEFT}", 0x25},  {"{UP}", 0x26},
    {"{RIGHT}", 0x27}, {"{DOWN}", 0x28}, {"{SPACE}", 0x20},
};

RobotCommand CommandOf(const std::string& word) {
    if (word == "wait") return RobotCommand::Wait;
    if (word == "show") return RobotCommand::Show;
    if (word == "press") return RobotCommand::Press;
    if (word == "keys") return RobotCommand::Keys;
    if (word == "close") return RobotCommand::Close;
    if (word == "waitgone") return RobotCommand::WaitGone;
    if (word == "send") return RobotCommand::Send;
    if (word == "post") return RobotCommand::Post;
    if (word == "listen") return RobotCommand::Listen;
    return RobotCommand::None;
}

}  // namespace

bool ParseKeySpec(const std::string& keyText, RobotKey& key) {
    if (keyText.size() == 6 && keyText.compare(0, 5, "char:") == 0) {
        key.kind = RobotKey::Kind::Char;
        key.code = static_cast<unsigned char>(keyText[5]);
        return key.code != 0;
    }
    if (keyText.size() == 1) {
        char c = Fold(keyText[0]);
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
            key.kind = RobotKey::Kind::Key;
            key.code = static_cast<unsigned char>(c);  // VK_A..VK_Z and VK_0..VK_9 are the upper-case codes
            return true;
        }
        return false;
    }
    for (const NamedKey& k : kNamedKeys) {
        if (SameAscii(keyText, k.name)) {
            key.kind = RobotKey::Kind::Key;
            key.code = k.vk;
            return true;
        }
    }
    return false;
}

bool IsExtendedKey(unsigned vk) { return vk >= 0x25 && vk <= 0x28; }

std::vector<PostedKeyMessage> KeyMessages(const RobotKey& key, unsigned scanCode) {
    uint32_t base = 1u | ((scanCode & 0xFFu) << 16);
    if (key.kind == RobotKey::Kind::Char) return {{kWmChar, key.code & 0xFFu, base}};
    if (IsExtendedKey(key.code)) base |= 1u << 24;
    return {{kWmKeyDown, key.code, base}, {kWmKeyUp, key.code, base | (1u << 30) | (1u << 31)}};
}

bool ParseRobotArgs(const std::vector<std::string>& args, RobotArgs& out, std::string& error) {
    out = RobotArgs{};
    if (args.empty()) {
        error = "no command";
        return false;
    }
    out.command = CommandOf(args[0]);
    if (out.command == RobotCommand::None) {
        error = "unknown command: " + args[0];
        return false;
    }
    bool hasTimeout = false, hasNotify = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool takesValue = a == "--class" || a == "--title" || a == "--hwnd" || a == "--timeout" ||
                          a == "--button" || a == "--index" || a == "--message" || a == "--wparam" ||
                          a == "--lparam" || a == "--notify" || a == "--duration";
        if (takesValue) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            const std::string& v = args[++i];
            bool dup = false, bad = false;
            if (a == "--class") {
                dup = out.hasClass;
                out.hasClass = true;
                out.className = v;
                bad = v.empty();
            } else if (a == "--title") {
                dup = out.hasTitle;
                out.hasTitle = true;
                out.title = v;
            } else if (a == "--hwnd") {
                dup = out.hasHandle;
                out.hasHandle = true;
                bad = !ParseHandle(v, out.handle);
            } else if (a == "--timeout") {
                dup = hasTimeout;
                hasTimeout = true;
                bad = !ParseCount(v, kRobotMaxTimeoutMs, out.timeoutMs);
            } else if (a == "--message") {
                dup = !out.message.empty();
                out.message = v;
                bad = v.empty();
            } else if (a == "--wparam" || a == "--lparam" || a == "--notify") {
                uint64_t& target = a == "--wparam" ? out.wParam : a == "--lparam" ? out.lParam : out.notify;
                bool& given = a == "--wparam" ? out.hasWParam : a == "--lparam" ? out.hasLParam : hasNotify;
                dup = given;
                given = true;
                bad = !ParseWord(v, target);
            } else if (a == "--duration") {
                bad = !ParseCount(v, kRobotMaxTimeoutMs, out.durationMs);
            } else if (a == "--button") {
                dup = out.hasButton;
                out.hasButton = true;
                out.button = v;
                bad = v.empty();
            } else {
                int64_t n = 0;
                dup = out.hasIndex;
                out.hasIndex = true;
                bad = !ParseCount(v, 1000, n);
                out.index = int(n);
            }
            if (dup) {
                error = a + " given twice";
                return false;
            }
            if (bad) {
                error = "bad value for " + a + ": " + v;
                return false;
            }
            continue;
        }
        if (a == "--hidden") {
            out.includeHidden = true;
            continue;
        }
        if (out.command == RobotCommand::Keys && !(a.size() > 2 && a[0] == '-' && a[1] == '-')) {
            RobotKey key;
            if (!ParseKeySpec(a, key)) {
                error = "bad key: " + a;
                return false;
            }
            out.keys.push_back(key);
            continue;
        }
        error = "unexpected argument: " + a;
        return false;
    }
    if (!out.hasClass && !out.hasTitle && !out.hasHandle) {
        error = "name the window with --class, --title or --hwnd";
        return false;
    }
    bool buttonCommand = out.command == RobotCommand::Press;
    if (!buttonCommand && (out.hasButton || out.hasIndex)) {
        error = "--button and --index belong to press";
        return false;
    }
    if (buttonCommand && out.hasButton == out.hasIndex) {
        error = "press needs one of --button or --index";
        return false;
    }
    bool messageCommand = out.command == RobotCommand::Send || out.command == RobotCommand::Post ||
                          out.command == RobotCommand::Listen;
    if (messageCommand != !out.message.empty()) {
        error = messageCommand ? "this command needs --message" : "--message belongs to send, post and listen";
        return false;
    }
    if (messageCommand) out.includeHidden = true;
    if (out.command == RobotCommand::Listen && out.notify == 0) {
        error = "listen needs --notify";
        return false;
    }
    if (out.command == RobotCommand::Keys && out.keys.empty()) {
        error = "keys needs at least one key";
        return false;
    }
    return true;
}

bool CaptionMatches(const std::string& caption, const std::string& wanted) {
    auto strip = [](const std::string& s) {
        std::string r;
        for (size_t i = 0; i < s.size(); ++i) {
            // "&&" stands for a literal ampersand.
            if (s[i] == '&') {
                if (i + 1 < s.size() && s[i + 1] == '&') {
                    r += '&';
                    ++i;
                }
                continue;
            }
            r += s[i];
        }
        return r;
    };
    return SameAscii(caption, wanted) || SameAscii(strip(caption), wanted);
}

int FindButton(const std::vector<std::string>& captions, const std::string& wanted) {
    for (size_t i = 0; i < captions.size(); ++i)
        if (CaptionMatches(captions[i], wanted)) return int(i);
    return -1;
}

bool SameClassName(const std::string& a, const std::string& b) { return SameAscii(a, b); }

bool IsRichEditClass(const std::string& className) {
    // "RICHEDIT" (1.0), "RichEdit20A", "RICHEDIT50W"
    return className.size() >= 8 && SameAscii(className.substr(0, 8), "RICHEDIT");
}

std::string EscapeText(const std::string& text, bool escapeBar) {
    std::string r;
    r.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            r += "\\n";
            ++i;
        } else if (c == '\t') {
            r += "\\t";
        } else if (c == '\\') {
            r += "\\\\";
        } else if (c < 0x20 || c == 0x7F || (escapeBar && c == '|')) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            r += buf;
        } else {
            r += char(c);
        }
    }
    return r;
}

std::vector<RobotRange> RangesFromFlags(const std::vector<bool>& flags) {
    std::vector<RobotRange> r;
    int n = int(flags.size());
    for (int i = 0; i < n;) {
        if (!flags[size_t(i)]) {
            ++i;
            continue;
        }
        int start = i;
        while (i < n && flags[size_t(i)]) ++i;
        r.push_back({start, i});
    }
    return r;
}

std::string FormatRanges(const std::vector<RobotRange>& ranges) {
    std::string r;
    for (const RobotRange& x : ranges) {
        if (!r.empty()) r += ';';
        r += std::to_string(x.start) + "-" + std::to_string(x.end);
    }
    return r;
}

std::string HexText(uint32_t value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", unsigned(value));
    return buf;
}

std::string RectText(int x, int y, int w, int h) {
    return std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(w) + "," + std::to_string(h);
}

std::vector<int> OrderLeftToRight(const std::vector<int>& xs, const std::vector<int>& ys) {
    std::vector<int> order;
    size_t n = std::min(xs.size(), ys.size());
    for (size_t i = 0; i < n; ++i) order.push_back(int(i));
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if (xs[size_t(a)] != xs[size_t(b)]) return xs[size_t(a)] < xs[size_t(b)];
        return ys[size_t(a)] < ys[size_t(b)];
    });
    return order;
}

bool MessageNumberOf(const std::string& text, uint32_t& number) {
    uint64_t n = 0;
    if (!ParseWord(text, n) || n > 0xFFFFFFFFu) return false;
    number = uint32_t(n);
    return true;
}

std::string RobotUsage() {
    return "usage: winrobot COMMAND WINDOW [options]\n"
           "  WINDOW: --class NAME | --title CAPTION | --hwnd HANDLE (may be combined)\n"
           "  wait     [--timeout MS]            wait for the window, print hwnd=\n"
           "  show     [--timeout MS]            describe the window, one key=value a line\n"
           "  press    (--button CAPTION | --index N) [--timeout MS]\n"
           "  keys     KEY... [--timeout MS]     KEY: a letter or digit, {ENTER} {ESC} {TAB}\n"
           "                                     {LEFT} {RIGHT} {UP} {DOWN} {SPACE}, char:x\n"
           "  close    [--timeout MS]            post WM_CLOSE\n"
           "  waitgone [--timeout MS]            wait until no such window is visible\n"
           "  send     --message N|NAME [--wparam N] [--lparam N]   send, print result=\n"
           "  post     --message N|NAME [--wparam N] [--lparam N]\n"
           "  listen   --message N --notify M [--duration MS]   post N with wParam = a\n"
           "           window of the robot and lParam = M, print every M posted back\n"
           "  --hidden: hidden windows count too (always for send, post, listen)\n"
           "  Default timeout 10000 ms. Exit: 0 ok, 1 not found or timeout, 2 usage,\n"
           "  3 action failed.\n";
}
