#include <windows.h>

#include <richedit.h>

#include <string>

#include "dialogs/InformDialog.h"
#include "util/DebugLog.h"
#include "util/PlatformHelpers.h"
#include "util/WinHandle.h"

namespace {

constexpr char kClassName[] = "VRichEditBox";

// Everything one dialog needs; it lives on the stack of the call, so the window
// procedure finds it through the window's user data.
struct Dialog {
  std::string address;
  HWND window = nullptr;
  HWND text = nullptr;
  HWND button = nullptr;
  HFONT textFont = nullptr;
  HFONT buttonFont = nullptr;
  bool done = false;
};

bool RichEditAvailable() {
  static const bool loaded = LoadSystemLibrary("RICHED32.DLL") != nullptr;
  return loaded;
}

// Only a web address leaves the dialog: the address comes from a file on a server,
// and a path or a program name there must not start anything on this machine.
void LogRefusal(const std::string& address) {
  DebugWriteLine("ShowInformDialog: refused to open \"" + address + "\" (not an http or https address)");
}

bool OpenAddress(const std::string& address) {
  std::string open = InformAddressToOpen(address);
  if (open.empty()) {
    LogRefusal(address);
    return false;
  }
  return ShellOpen(open, "", SW_SHOW);
}

void Layout(Dialog& d) {
  RECT client;
  GetClientRect(d.window, &client);
  InformLayout l = InformDialogLayout(int(client.right), int(client.bottom), !d.address.empty());
  if (d.text) MoveWindow(d.text, l.text.x, l.text.y, l.text.width, l.text.height, TRUE);
  if (d.button && l.button)
    MoveWindow(d.button, l.buttonRect.x, l.buttonRect.y, l.buttonRect.width, l.buttonRect.height, TRUE);
}

void Paint(Dialog& d) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(d.window, &ps);
  if (!dc) return;
  RECT client;
  GetClientRect(d.window, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
  InformLayout l = InformDialogLayout(int(client.right), int(client.bottom), !d.address.empty());
  if (l.lineY >= 0) {
    RECT line{0, l.lineY, client.right, l.lineY + 1};
    FillRect(dc, &line, GetSysColorBrush(COLOR_3DDKSHADOW));
    RECT band{0, l.bandTop, client.right, client.bottom};
    FillRect(dc, &band, GetSysColorBrush(COLOR_BTNFACE));
  }
  EndPaint(d.window, &ps);
}

LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* d = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!d) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      d->window = window;
      break;
    case WM_SIZE:
      Layout(*d);
      return 0;
    case WM_PAINT:
      Paint(*d);
      return 0;
    case WM_COMMAND:
      if (d->button && reinterpret_cast<HWND>(lParam) == d->button && HIWORD(wParam) == BN_CLICKED) {
        OpenAddress(d->address);
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_DESTROY:
      d->done = true;
      break;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// The class is registered while at least one dialog is open (one may open inside
// another's loop) and unregistered with the last, so the next call registers it anew.
class ClassRegistration {
 public:
  ClassRegistration() {
    WNDCLASSA wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = DialogProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    ok_ = RegisterClassA(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    if (ok_) ++open_;
  }
  ~ClassRegistration() {
    if (ok_ && --open_ == 0) UnregisterClassA(kClassName, GetModuleHandleA(nullptr));
  }
  ClassRegistration(const ClassRegistration&) = delete;
  ClassRegistration& operator=(const ClassRegistration&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
  static inline int open_ = 0;
};

HFONT MakeFont(int height, int charset, const std::string& face) {
  return CreateFontA(height, 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DWORD(charset), OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS, face.c_str());
}

void CreateTextArea(Dialog& d, const std::string& text, bool rightToLeft) {
  DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_READONLY | ES_MULTILINE | (rightToLeft ? ES_RIGHT : 0);
  DWORD exStyle = rightToLeft ? WS_EX_RTLREADING : 0;
  bool rich = RichEditAvailable();
  InformLayout l = InformDialogLayout(0, 0, !d.address.empty());
  if (rich)
    d.text = CreateWindowExA(exStyle, "RICHEDIT", "", style, l.text.x, l.text.y, 0, 0, d.window, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  // Without the rich-edit library the text still shows, unformatted.
  if (!d.text) {
    rich = false;
    d.text = CreateWindowExA(exStyle, "EDIT", "", style, l.text.x, l.text.y, 0, 0, d.window, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  }
  if (!d.text) return;
  if (rich) SendMessageA(d.text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
  SendMessageA(d.text, WM_SETFONT, reinterpret_cast<WPARAM>(d.textFont), FALSE);
  if (rich) SendMessageA(d.text, EM_SETBKGNDCOLOR, 0, LPARAM(GetSysColor(COLOR_WINDOW)));
  SendMessageA(d.text, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void CreateButton(Dialog& d, const std::string& caption) {
  d.button = CreateWindowExA(0, "Button", caption.c_str(), WS_CHILD | WS_VISIBLE, 0, 0, kInformButtonWidth,
                             kInformButtonHeight, d.window, reinterpret_cast<HMENU>(1), GetModuleHandleA(nullptr),
                             nullptr);
  if (!d.button) return;
  SetWindowLongPtrA(d.button, GWLP_USERDATA, 1);
  SendMessageA(d.button, WM_SETFONT, reinterpret_cast<WPARAM>(d.buttonFont), FALSE);
  SetFocus(d.button);
  SendMessageA(d.button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

// Runs the dialog until it is destroyed. False when the thread was asked to quit or
// the loop failed: the quit message goes on to the loop that owns the thread.
bool RunLoop(Dialog& d) {
  MSG msg;
  while (!d.done) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(int(msg.wParam));
      return false;
    }
    if (got < 0) return false;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}

bool ShowDialog(HWND owner, const std::string& caption, const std::string& buttonText, const std::string& text,
                const std::string& address, int width, int height, bool rightToLeft, const std::string& fontName,
                int fontSize, int charset) {
  Dialog d;
  d.address = address;
  RichEditAvailable();
  UniqueGdi buttonFont(MakeFont(-PointsToPixels(fontSize), charset, fontName));
  UniqueGdi textFont(MakeFont(kInformTextFontHeight, charset, InformTextFontName(fontName)));
  d.buttonFont = static_cast<HFONT>(buttonFont.get());
  d.textFont = static_cast<HFONT>(textFont.get());
  ClassRegistration registration;
  if (!registration.ok()) {
    DebugWriteLine("ShowInformDialog: the class cannot be registered (" + LastErrorText() + ")");
    return false;
  }
  RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  InformRect at = InformWindowRect(width, height, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                   {int(area.left), int(area.top), int(area.right), int(area.bottom)});
  CreateWindowExA(WS_EX_DLGMODALFRAME, kClassName, caption.c_str(),
                  WS_VISIBLE | WS_BORDER | WS_DLGFRAME | WS_SYSMENU | WS_THICKFRAME, at.x, at.y, at.width,
                  at.height, owner, nullptr, GetModuleHandleA(nullptr), &d);
  if (!d.window) {
    DebugWriteLine("ShowInformDialog: the dialog cannot be created (" + LastErrorText() + ")");
    return false;
  }
  CreateTextArea(d, text, rightToLeft);
  if (!d.address.empty()) CreateButton(d, buttonText);
  Layout(d);
  bool closed = RunLoop(d);
  if (!closed && IsWindow(d.window)) DestroyWindow(d.window);
  return closed;
}

}  // namespace

bool ShowInformDialog(HWND owner, const std::string& caption, const std::string& buttonText,
                      const std::string& text, const std::string& address, int width, int height,
                      bool rightToLeft, const std::string& fontName, int fontSize, int charset) {
  InformDecision decision = DecideInform(text, address);
  switch (decision.action) {
    case InformAction::OpenAddress:
      ShellOpen(decision.address, "", SW_SHOW);
      return true;
    case InformAction::Refuse:
      LogRefusal(decision.address);
      return false;
    case InformAction::Nothing:
      return false;
    case InformAction::ShowDialog:
      break;
  }
  return ShowDialog(owner, caption, buttonText, text, decision.address, width, height, rightToLeft, fontName,
                    fontSize, charset);
}
