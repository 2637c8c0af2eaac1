#include <windows.h>

#include <richedit.h>

#include <memory>
#include <string>
#include <vector>

#include "dialogs/MessageBox.h"
#include "util/DebugLog.h"
#include "util/PlatformHelpers.h"
#include "util/SeparatorLists.h"
#include "util/WinHandle.h"

namespace {

constexpr char kClassName[] = "VMsgBox";
constexpr UINT_PTR kTimeoutTimer = 1;
constexpr COLORREF kBandColour = RGB(0, 78, 152);

struct FontSettings {
  std::string name = "Tahoma";
  int size = 8;
  int charset = 0;
};
FontSettings g_font;

// The rich-edit library is loaded once and kept: freeing it while a box of another
// caller may still use its class would pull the control's code out from under it.
bool RichEditAvailable() {
  static const bool loaded = LoadSystemLibrary("RICHED32.DLL") != nullptr;
  return loaded;
}

// Everything one box needs; it lives on the stack of ShowMsgBox, so a box shown from
// inside another box's message loop has its own.
struct Box {
  HWND window = nullptr;
  HWND owner = nullptr;
  bool ownerWasEnabled = false;
  HWND text = nullptr;
  bool richText = false;
  HFONT font = nullptr;
  HICON icon = nullptr;
  std::vector<BoxButton> set;
  std::vector<HWND> buttons;
  std::vector<std::string> captions;
  int result = 0;
  int timeout = 0;
  bool done = false;
  int requestedWidth = 0;
  int requestedHeight = 0;
};

int g_openBoxes = 0;

void Choose(Box& box, int result) {
  box.result = result;
  PostMessageA(box.window, WM_CLOSE, 0, 0);
}

int FocusedButton(const Box& box) {
  HWND focus = GetFocus();
  for (size_t i = 0; i < box.buttons.size(); ++i)
    if (box.buttons[i] == focus) return int(i);
  return -1;
}

void FocusButton(Box& box, int index) {
  if (index < 0 || size_t(index) >= box.buttons.size()) return;
  for (size_t i = 0; i < box.buttons.size(); ++i)
    SendMessageA(box.buttons[i], BM_SETSTYLE, int(i) == index ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  SetFocus(box.buttons[size_t(index)]);
}

bool BelongsToBox(const Box& box, HWND window) {
  return window && (window == box.window || IsChild(box.window, window));
}

// Keys are taken out of the box's own loop before they reach a control, so that the
// buttons answer their accelerator letters wherever the focus is.
bool FilterKey(Box& box, const MSG& msg) {
  if (!BelongsToBox(box, msg.hwnd)) return false;
  int count = int(box.buttons.size());
  if (msg.message == WM_CHAR) {
    int index = ButtonForChar(box.captions, (unsigned char)(msg.wParam));
    if (index < 0) return false;
    Choose(box, box.set[size_t(index)].result);
    return true;
  }
  if (msg.message != WM_KEYDOWN) return false;
  switch (msg.wParam) {
    case VK_LEFT:
    case VK_UP:
      FocusButton(box, NextFocus(FocusedButton(box), count, false));
      return true;
    case VK_TAB:
    case VK_RIGHT:
    case VK_DOWN:
      FocusButton(box, NextFocus(FocusedButton(box), count, true));
      return true;
    case VK_RETURN: {
      int index = FocusedButton(box);
      if (index < 0) return false;
      Choose(box, box.set[size_t(index)].result);
      return true;
    }
    case VK_ESCAPE:
      Choose(box, 0);
      return true;
    default: {
      int index = ButtonForLetterKey(box.captions, int(msg.wParam));
      if (index < 0) return false;
      Choose(box, box.set[size_t(index)].result);
      return true;
    }
  }
}

void FillRect(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
  RECT r{left, top, right, bottom};
  UniqueGdi brush(CreateSolidBrush(colour));
  ::FillRect(dc, &r, static_cast<HBRUSH>(brush.get()));
}

void Paint(Box& box) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(box.window, &ps);
  if (!dc) return;
  RECT client;
  GetClientRect(box.window, &client);
  int bottom = client.bottom;
  FillRect(dc, 0, 0, client.right, bottom, GetSysColor(COLOR_WINDOW));
  FillRect(dc, 0, bottom - 37, client.right, bottom - 36, GetSysColor(COLOR_3DDKSHADOW));
  FillRect(dc, 0, bottom - 36, client.right, bottom - 35, RGB(255, 255, 255));
  FillRect(dc, 0, bottom - 35, client.right, bottom, GetSysColor(COLOR_BTNFACE));
  FillRect(dc, 0, 0, kBandWidth, bottom - 37, kBandColour);
  if (box.icon) DrawIcon(dc, 11, 20, box.icon);
  EndPaint(box.window, &ps);
}

LRESULT CALLBACK BoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  Box* box = reinterpret_cast<Box*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  UINT autoPlay = AutoPlayMessage();
  if (autoPlay != 0 && message == autoPlay) return 1;
  if (!box) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      box->window = window;
      if (box->timeout > 0) SetTimer(window, kTimeoutTimer, UINT(box->timeout), nullptr);
      break;
    case WM_PAINT:
      Paint(*box);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the paint fills every pixel
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED) {
        for (size_t i = 0; i < box->buttons.size(); ++i)
          if (box->buttons[i] == reinterpret_cast<HWND>(lParam)) Choose(*box, box->set[i].result);
      }
      break;
    case WM_TIMER:
      if (wParam == kTimeoutTimer) {
        KillTimer(window, kTimeoutTimer);
        Choose(*box, TimeoutResult(box->set));
      }
      return 0;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header && header->hwndFrom == box->text && header->code == EN_REQUESTRESIZE) {
        auto* resize = reinterpret_cast<REQRESIZE*>(lParam);
        box->requestedWidth = resize->rc.right - resize->rc.left;
        box->requestedHeight = resize->rc.bottom - resize->rc.top;
      }
      return 0;
    }
    case WM_CLOSE:
      if (box->owner && box->ownerWasEnabled) {
        EnableWindow(box->owner, TRUE);
        SetActiveWindow(box->owner);
        SetFocus(box->owner);
      }
      box->ownerWasEnabled = false;
      KillTimer(window, kTimeoutTimer);
      break;
    case WM_DESTROY:
      box->done = true;
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

Size TextExtent(HDC dc, const std::string& line) {
  SIZE s{0, 0};
  if (!line.empty()) GetTextExtentPoint32A(dc, line.data(), int(line.size()), &s);
  return {int(s.cx), int(s.cy)};
}

// Measures the plain text with the box's font and sizes the area; bold passages are
// wider than the measure, so with bold text the area grows until it no longer asks
// for more height.
Size SizeTextArea(Box& box, const MarkedText& marked) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, box.font);
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  int lineHeight = int(metrics.tmHeight + metrics.tmExternalLeading) + (g_font.name == "MS PGothic" ? 1 : 0);
  Size size = MeasureText(marked.text, lineHeight, [&](const std::string& line) { return TextExtent(dc, line).width; });
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);

  SetWindowPos(box.text, nullptr, 0, 0, size.width + 10, size.height, SWP_NOMOVE | SWP_NOZORDER);
  size.width += 10;
  if (!box.richText || marked.bold.empty()) return size;
  int widest = 0;
  for (int i = 0; i <= 20; ++i) {
    int width = size.width + 10 * i;
    box.requestedHeight = 0;
    SetWindowPos(box.text, nullptr, 0, 0, width, size.height, SWP_NOMOVE | SWP_NOZORDER);
    SendMessageA(box.text, EM_REQUESTRESIZE, 0, 0);
    if (box.requestedWidth > widest) widest = box.requestedWidth;
    if (box.requestedHeight <= size.height) return {width, size.height};
  }
  size.width = (widest > size.width ? widest : size.width) + 10;
  SetWindowPos(box.text, nullptr, 0, 0, size.width, size.height, SWP_NOMOVE | SWP_NOZORDER);
  return size;
}

void CreateTextArea(Box& box, const std::string& markup, uint32_t flags) {
  box.richText = RichEditAvailable();
  DWORD style = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | ((flags & kBoxRightAligned) ? ES_RIGHT : 0);
  DWORD exStyle = (flags & kBoxRtlReading) ? WS_EX_RTLREADING : 0;
  // Without the rich-edit library the text still shows, only without bold passages.
  box.text = CreateWindowExA(exStyle, box.richText ? "RICHEDIT" : "EDIT", "", style, 86, 30, 100, 13, box.window,
                             nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!box.text && box.richText) {
    box.richText = false;
    box.text = CreateWindowExA(exStyle, "EDIT", "", style, 86, 30, 100, 13, box.window, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  }
  if (!box.text) return;
  SendMessageA(box.text, WM_SETFONT, reinterpret_cast<WPARAM>(box.font), FALSE);
  MarkedText marked = ParseMarkup(markup);
  if (box.richText) {
    SendMessageA(box.text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
    SendMessageA(box.text, EM_SETBKGNDCOLOR, 0, LPARAM(GetSysColor(COLOR_WINDOW)));
  }
  SetWindowTextA(box.text, marked.text.c_str());
  if (box.richText) {
    for (const BoldRange& range : marked.bold) {
      CHARRANGE selection{LONG(range.start), LONG(range.end)};
      SendMessageA(box.text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&selection));
      CHARFORMATA format{};
      format.cbSize = sizeof format;
      format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
      format.dwEffects = CFE_BOLD;
      SendMessageA(box.text, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
    }
    CHARRANGE none{0, 0};
    SendMessageA(box.text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none));
  }
  SizeTextArea(box, marked);
}

HICON IconFor(uint32_t flags) {
  switch (IconOf(flags)) {
    case BoxIcon::Hand: return LoadIconA(nullptr, MAKEINTRESOURCEA(32513));
    case BoxIcon::Question: return LoadIconA(nullptr, MAKEINTRESOURCEA(32514));
    case BoxIcon::Exclamation: return LoadIconA(nullptr, MAKEINTRESOURCEA(32515));
    case BoxIcon::Asterisk: return LoadIconA(nullptr, MAKEINTRESOURCEA(32516));
    default: return LoadIconA(GetModuleHandleA(nullptr), "MainIcon");
  }
}

void CreateButtons(Box& box, uint32_t flags, const std::string& buttonTexts) {
  RECT client;
  GetClientRect(box.window, &client);
  box.set = ButtonSet(flags);
  int count = int(box.set.size());
  for (int i = 0; i < count; ++i) {
    std::string caption = SUB::Item(buttonTexts, box.set[size_t(i)].captionIndex);
    HWND button = CreateWindowExA(0, "BUTTON", caption.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                                  ButtonLeft(client.right, i, count), ButtonTop(client.bottom), kButtonWidth,
                                  kButtonHeight, box.window, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(box.font), FALSE);
    box.buttons.push_back(button);
    box.captions.push_back(caption);
  }
  FocusButton(box, DefaultButtonIndex(flags, box.buttons.size()));
}

bool RegisterBoxClass() {
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = BoxProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  // A class left behind (or registered by another box) is fine to use as it is.
  return RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// Runs the box until it is destroyed. False when the thread was asked to quit or the
// loop failed: the quit message is passed on to the loop that owns the thread.
bool RunBoxLoop(Box& box) {
  MSG msg;
  while (!box.done) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(int(msg.wParam));
      return false;
    }
    if (got < 0) return false;
    if (FilterKey(box, msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}

}  // namespace

void SetMsgBoxFont(const std::string& fontName, int fontSize, int charset) {
  g_font.name = fontName;
  if (fontSize != 0) g_font.size = fontSize;
  g_font.charset = charset;
}

int ShowMsgBox(HWND owner, const std::string& text, const std::string& title, int timeout, uint32_t flags,
               const std::string& buttonTexts) {
  Box box;
  box.timeout = timeout;
  box.owner = owner ? owner : GetActiveWindow();
  if (box.owner) box.ownerWasEnabled = !EnableWindow(box.owner, FALSE);

  HDC screen = GetDC(nullptr);
  int perInch = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  UniqueGdi font(CreateFontA(-MulDiv(g_font.size, perInch, 72), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE,
                              DWORD(g_font.charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              FF_SWISS, g_font.name.c_str()));
  box.font = static_cast<HFONT>(font.get());

  bool registered = RegisterBoxClass();
  ++g_openBoxes;
  if (registered)
    CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kClassName, title.c_str(), WS_CAPTION | WS_SYSMENU,
                    -100, -100, 10, 10, box.owner, nullptr, GetModuleHandleA(nullptr), &box);
  bool completed = false;
  if (box.window) {
    if (flags & kBoxNoCloseItem) {
      EnableMenuItem(GetSystemMenu(box.window, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
      flags &= ~kBoxNoCloseItem;
    }
    CreateTextArea(box, text, flags);
    RECT area{0, 0, 100, 13};
    if (box.text) GetWindowRect(box.text, &area);
    Size boxSize = BoxSizeFor({int(area.right - area.left), int(area.bottom - area.top)},
                              GetSystemMetrics(SM_CXFIXEDFRAME), GetSystemMetrics(SM_CYFIXEDFRAME),
                              GetSystemMetrics(SM_CYCAPTION));
    POINT at = CenterInWorkArea(boxSize.width, boxSize.height);
    if (IsDeveloperMode() && text.find("Do you want to store the new Entry in") != std::string::npos) {
      at.x += 150;
      at.y += 150;
    }
    SetWindowPos(box.window, HWND_TOPMOST, at.x, at.y, boxSize.width, boxSize.height, SWP_SHOWWINDOW);
    if (box.text) {
      RECT client;
      GetClientRect(box.window, &client);
      Placement p = TextAreaPlacement({int(client.right), int(client.bottom)},
                                      {int(area.right - area.left), int(area.bottom - area.top)});
      SetWindowPos(box.text, nullptr, p.x, p.y, p.width, p.height, SWP_NOZORDER | SWP_SHOWWINDOW);
    }
    box.icon = IconFor(flags);
    CreateButtons(box, flags, buttonTexts);
    if (flags & kBoxSetForeground) SetForegroundWindow(box.window);
    InvalidateRect(box.window, nullptr, TRUE);
    completed = RunBoxLoop(box);
    if (!completed && IsWindow(box.window)) DestroyWindow(box.window);
  } else {
    DebugWriteLine(" --- ShowMsgBox: the box cannot be created (" + LastErrorText() + ")");
  }
  if (--g_openBoxes == 0) UnregisterClassA(kClassName, GetModuleHandleA(nullptr));
  // Whatever ended the box, its owner must not stay disabled.
  if (box.owner && box.ownerWasEnabled) {
    EnableWindow(box.owner, TRUE);
    SetActiveWindow(box.owner);
  }
  return completed ? box.result : 0;
}

int ShowMessageBox(uintptr_t owner, const std::string& text, const std::string& title, int timeout,
                   uint32_t flags, int charset, const std::string& buttonTexts) {
  HWND parent = owner > kOwnerActiveNoClose ? reinterpret_cast<HWND>(owner) : GetActiveWindow();
  int result = ShowMsgBox(parent, ShortcutText(owner, text, title), title, timeout,
                          ShortcutFlags(owner, flags, charset), buttonTexts.empty() ? kDefaultButtonTexts : buttonTexts);
  WaitPumping(0, 100);
  return result;
}

namespace {
std::string TitleOr(const std::string& title, int index) {
  return title.empty() ? SUB::Item(kDefaultTitles, index) : title;
}
}  // namespace

void ShowError(uintptr_t owner, const std::string& text, const std::string& title, int charset,
               const std::string& buttonTexts) {
  ShowMessageBox(owner, text, TitleOr(title, 0), 0, MB_ICONHAND, charset, buttonTexts);
}

void ShowAttention(uintptr_t owner, const std::string& text, const std::string& title, int timeout, int charset,
                   const std::string& buttonTexts) {
  ShowMessageBox(owner, text, TitleOr(title, 1), timeout, MB_ICONEXCLAMATION, charset, buttonTexts);
}

bool AskYesNo(uintptr_t owner, const std::string& text, const std::string& title, int timeout, int charset,
              const std::string& buttonTexts) {
  return ShowMessageBox(owner, text, TitleOr(title, 2), timeout, MB_ICONQUESTION | MB_YESNO, charset, buttonTexts) ==
         IDYES;
}

bool AskOkCancel(uintptr_t owner, const std::string& text, const std::string& title, int charset,
                 const std::string& buttonTexts) {
  return ShowMessageBox(owner, text, TitleOr(title, 2), 0, MB_ICONQUESTION | MB_OKCANCEL, charset, buttonTexts) ==
         IDOK;
}
