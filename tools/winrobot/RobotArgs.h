// The dialog robot's decisions that need no window: its command line, key
// specifications and the messages they turn into, caption matching, and the
// text forms of what it prints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class RobotCommand { None, Wait, Show, Press, Keys, Close, WaitGone, Send, Post, Listen };

// Exit codes of the robot.
constexpr int kRobotOk = 0;
constexpr int kRobotNotFound = 1;  // no such window, or the timeout passed
constexpr int kRobotUsage = 2;
constexpr int kRobotFailed = 3;    // the window is there but the action was impossible

constexpr int64_t kRobotDefaultTimeoutMs = 10000;
constexpr int64_t kRobotMaxTimeoutMs = 24LL * 3600 * 1000;

// One key as the user would press it.
struct RobotKey {
    enum class Kind { Key, Char };  // Key: down + up (the target translates); Char: WM_CHAR only
    Kind kind = Kind::Key;
    unsigned code = 0;              // virtual-key code for Key, character byte for Char
};

struct RobotArgs {
    RobotCommand command = RobotCommand::None;
    bool hasClass = false, hasTitle = false, hasHandle = false;
    std::string className, title;
    uint64_t handle = 0;
    int64_t timeoutMs = kRobotDefaultTimeoutMs;
    bool hasButton = false, hasIndex = false;
    std::string button;
    int index = -1;
    std::vector<RobotKey> keys;
    // send, post, listen: a message by number or by registered name.
    std::string message;
    uint64_t wParam = 0, lParam = 0;
    bool hasWParam = false, hasLParam = false;
    uint64_t notify = 0;  // listen: the message number the window is asked to post back
    int64_t durationMs = 2000;
    // Hidden windows count too (--hidden; always for the message commands, since the
    // windows that take messages are often never shown).
    bool includeHidden = false;
};

// A message number ("1124", "0x464") or, for anything else, a name to register.
bool MessageNumberOf(const std::string& text, uint32_t& number);

// args excludes the program name. On failure error says why (for the usage text).
bool ParseRobotArgs(const std::vector<std::string>& args, RobotArgs& out, std::string& error);

// "N" or "n" (letters and digits), "{ENTER}", "{ESC}", "{TAB}", "{LEFT}", "{RIGHT}",
// "{UP}", "{DOWN}", "{SPACE}", "char:x" (one byte sent as WM_CHAR only).
bool ParseKeySpec(const std::string& keyText, RobotKey& key);

// Arrow keys carry the extended-key bit in their key messages.
bool IsExtendedKey(unsigned vk);

struct PostedKeyMessage {
    unsigned message;
    uint32_t wParam;
    uint32_t lParam;
};
constexpr unsigned kWmKeyDown = 0x0100, kWmKeyUp = 0x0101, kWmChar = 0x0102;

// The messages a key press produces before translation; scanCode comes from the
// keyboard layout. Repeat count 1; key-up carries the previous-state and transition bits.
std::vector<PostedKeyMessage> KeyMessages(const RobotKey& key, unsigned scanCode);

// wanted is the caption as written ("&Yes") or as shown ("Yes", "&&" shown as "&"),
// compared ASCII case-insensitively.
bool CaptionMatches(const std::string& caption, const std::string& wanted);
// The first caption that matches, or -1.
int FindButton(const std::vector<std::string>& captions, const std::string& wanted);

// Class names compare without regard to ASCII case, as the window manager does.
bool SameClassName(const std::string& a, const std::string& b);
bool IsRichEditClass(const std::string& className);

// One line's value: CR LF as \n, tab as \t, backslash as \\, other control bytes
// (and "|" when asked, for "|"-separated lines) as \xNN; bytes >= 0x80 unchanged.
std::string EscapeText(const std::string& text, bool escapeBar = false);

struct RobotRange {
    int start, end;  // end exclusive
};
// Runs of set flags as ranges.
std::vector<RobotRange> RangesFromFlags(const std::vector<bool>& flags);
// "0-4;10-12", empty for none.
std::string FormatRanges(const std::vector<RobotRange>& ranges);

std::string HexText(uint32_t value);  // "0x50010000"
std::string RectText(int x, int y, int w, int h);  // "10,20,70,23"

// Left to right by x, then top to bottom; ties keep their order.
std::vector<int> OrderLeftToRight(const std::vector<int>& xs, const std::vector<int>& ys);

// Reads a text of at most maxLen bytes: clamps the length a window reports.
inline size_t ClampLength(long long reported, size_t maxLen) {
    if (reported <= 0) return 0;
    return static_cast<unsigned long long>(reported) > maxLen ? maxLen : static_cast<size_t>(reported);
}

std::string RobotUsage();
