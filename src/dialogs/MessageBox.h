// The stub's own message box: a caption, a blue band with an icon, a read-only
// rich-text area with a little mark-up (<P>, <B>...</B>, <T>) and up to three buttons
// whose captions come from the package's language strings. It takes the system
// message box's flags and returns its result codes.
//
// The decisions (mark-up, button sets, keys, layout) are plain functions here so that
// they are tested without a window; the box itself is Win32 only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

inline constexpr char kDefaultButtonTexts[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
inline constexpr char kDefaultTitles[] = "|Error|Attention|Confirm|";

// Flags beyond the system message box's button, icon and default-button bits.
inline constexpr uint32_t kBoxRightAligned = 0x80000;   // MB_RIGHT
inline constexpr uint32_t kBoxRtlReading = 0x100000;    // MB_RTLREADING
inline constexpr uint32_t kBoxNoCloseItem = 0x10000000;
inline constexpr uint32_t kBoxShortcutFlags = 0x52000;  // task-modal, set-foreground, topmost
inline constexpr uint32_t kBoxSetForeground = 0x10000;

// ---- mark-up -------------------------------------------------------------------
struct BoldRange {
  size_t start = 0;  // 0-based positions in the plain text, end exclusive
  size_t end = 0;
  bool operator==(const BoldRange&) const = default;
};
struct MarkedText {
  std::string text;  // CR LF line breaks, TAB for <T>
  std::vector<BoldRange> bold;
};
// <P> becomes CR LF and <T> a TAB (any case); a leading "<<b>" loses its first "<";
// each <B> opens a bold range that the next </B> closes. A <B> inside an open range
// and a </B> with none open are dropped without effect.
MarkedText ParseMarkup(const std::string& markup);

// ---- buttons and keys --------------------------------------------------------------
struct BoxButton {
  int captionIndex = 0;  // item of the button text list
  int result = 0;        // IDOK, IDCANCEL, ...
};
// The buttons of the low four bits of flags, left to right; none for other values.
std::vector<BoxButton> ButtonSet(uint32_t flags);
// Bits 8 to 11 modulo the button count; -1 when there are no buttons.
int DefaultButtonIndex(uint32_t flags, size_t buttonCount);
// What the timeout answers: the first button's result, 0 without buttons.
int TimeoutResult(const std::vector<BoxButton>& buttons);

enum class BoxIcon { Hand, Question, Exclamation, Asterisk, Program };
BoxIcon IconOf(uint32_t flags);

// A typed character chooses the first button whose caption is "&" + that character
// (or its upper case) + ...; -1 when none.
int ButtonForChar(const std::vector<std::string>& captions, unsigned char ch);
// A letter key (virtual key 'A'..'Z') chooses the last button with that letter after
// its first "&", in any case; -1 when none.
int ButtonForLetterKey(const std::vector<std::string>& captions, int virtualKey);
// Focus movement with wrapping; current -1 (no button focused) starts at the ends.
int NextFocus(int current, int count, bool forward);

// ---- layout ----------------------------------------------------------------------
inline constexpr int kMaxTextWidth = 600;
inline constexpr int kBandWidth = 54;
inline constexpr int kButtonWidth = 70;
inline constexpr int kButtonHeight = 23;

struct Size {
  int width = 0;
  int height = 0;
  bool operator==(const Size&) const = default;
};
// The text area's size for a text: every line (CR LF separated; the empty remainder
// after a final CR LF does not count, an empty text counts as one blank) is measured
// with widthOf; a line wraps every 600 pixels.
Size MeasureText(const std::string& text, int lineHeight, const std::function<int(const std::string&)>& widthOf);
// Outer size of the box for a text area of text size.
Size BoxSizeFor(Size text, int frameWidth, int frameHeight, int captionHeight);
struct Placement {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Placement&) const = default;
};
// Where the text area goes in a client area of client size.
Placement TextAreaPlacement(Size client, Size text);
// Left edge of button index of count buttons; the last one takes the right-most place.
int ButtonLeft(int clientRight, int index, int count);
inline int ButtonTop(int clientBottom) { return clientBottom - 29; }

// ---- shortcuts ----------------------------------------------------------------------
// Owner argument of the shortcuts: 0 no owner (the text gets a bold heading), 1 the
// active window, 2 the active window without a Close item, larger: a window handle.
enum : uintptr_t { kOwnerNone = 0, kOwnerActive = 1, kOwnerActiveNoClose = 2 };

// The text a shortcut shows: with owner 0 the title becomes a bold heading, in capitals
// when it is one of the standard titles.
std::string ShortcutText(uintptr_t owner, const std::string& text, const std::string& title);
uint32_t ShortcutFlags(uintptr_t owner, uint32_t flags, int charset);
inline bool IsRightToLeftCharset(int charset) { return charset == 177 || charset == 178; }

#ifdef _WIN32
#include <windows.h>

void SetMsgBoxFont(const std::string& fontName, int fontSize, int charset);
// The result code of the chosen button; 0 when the box was closed without a choice
// or could not be shown.
int ShowMsgBox(HWND owner, const std::string& text, const std::string& title, int timeout, uint32_t flags,
               const std::string& buttonTexts);

// Empty titles and button texts take the standard ones.
int ShowMessageBox(uintptr_t owner, const std::string& text, const std::string& title, int timeout,
                   uint32_t flags, int charset, const std::string& buttonTexts);
void ShowError(uintptr_t owner, const std::string& text, const std::string& title, int charset,
               const std::string& buttonTexts);
void ShowAttention(uintptr_t owner, const std::string& text, const std::string& title, int timeout, int charset,
                   const std::string& buttonTexts);
bool AskYesNo(uintptr_t owner, const std::string& text, const std::string& title, int timeout, int charset,
              const std::string& buttonTexts);
bool AskOkCancel(uintptr_t owner, const std::string& text, const std::string& title, int charset,
                 const std::string& buttonTexts);
#endif
