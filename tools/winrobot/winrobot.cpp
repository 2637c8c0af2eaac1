// winrobot: answers dialogs of another process for unattended runs and tests.
// It finds a visible top-level window by class, caption or handle, describes it
// (caption, text, bold ranges, buttons, styles, progress bars), presses its buttons
// and posts keys the way a keyboard would, so that the target's own message loop
// and key filter see them.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <string>
#include <vector>

#include "RobotArgs.h"

namespace {

// ---- output ------------------------------------------------------------------

void WriteTo(DWORD which, const std::string& text) {
    HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
    size_t done = 0;
    while (done < text.size()) {
        DWORD chunk = DWORD(std::min<size_t>(text.size() - done, 1u << 20)), written = 0;
        if (!WriteFile(h, text.data() + done, chunk, &written, nullptr) || written == 0) return;
        done += written;
    }
}
void Out(const std::string& line) { WriteTo(STD_OUTPUT_HANDLE, line + "\r\n"); }
void Err(const std::string& line) { WriteTo(STD_ERROR_HANDLE, "winrobot: " + line + "\r\n"); }

// ---- handles -----------------------------------------------------------------

class Handle {
public:
    explicit Handle(HANDLE h = nullptr) : h_(h) {}
    ~Handle() {
        if (h_) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

// A block of memory inside the target process, for messages whose parameters are pointers.
class RemoteBlock {
public:
    RemoteBlock(HANDLE process, SIZE_T size)
        : process_(process), p_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
    ~RemoteBlock() {
        if (p_) VirtualFreeEx(process_, p_, 0, MEM_RELEASE);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    char* get() const { return static_cast<char*>(p_); }
    bool Write(SIZE_T offset, const void* data, SIZE_T size) const {
        SIZE_T n = 0;
        return p_ && WriteProcessMemory(process_, get() + offset, data, size, &n) && n == size;
    }
    bool Read(SIZE_T offset, void* data, SIZE_T size) const {
        SIZE_T n = 0;
        return p_ && ReadProcessMemory(process_, get() + offset, data, size, &n) && n == size;
    }

private:
    HANDLE process_;
    void* p_;
};

// ---- clock -------------------------------------------------------------------

class Deadline {
public:
    explicit Deadline(int64_t ms) : start_(GetTickCount()), ms_(ms) {}
    int64_t Left() const {
        int64_t passed = int64_t(DWORD(GetTickCount() - start_));
        return passed >= ms_ ? 0 : ms_ - passed;
    }

private:
    DWORD start_;
    int64_t ms_;
};

// A short bounded pause while nothing matches; the robot has no windows of its own.
void Pause(int64_t ms) {
    if (ms > 0) MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(ms), QS_ALLINPUT);
}

// ---- window queries ----------------------------------------------------------

constexpr UINT kSendMs = 2000;
constexpr size_t kMaxText = 1u << 20;
constexpr size_t kMaxBoldScan = 1u << 16;
constexpr int kMaxChildren = 1000;

bool Ask(HWND w, UINT msg, WPARAM wp, LPARAM lp, DWORD_PTR& result, UINT ms = kSendMs) {
    return SendMessageTimeoutA(w, msg, wp, lp, SMTO_ABORTIFHUNG, ms, &result) != 0;
}

std::string ClassOf(HWND w) {
    char buf[257] = {};
    int n = GetClassNameA(w, buf, sizeof buf);
    return std::string(buf, size_t(n > 0 ? n : 0));
}

// WM_GETTEXT crosses processes safely: the system copies the text back.
std::string TextOf(HWND w) {
    DWORD_PTR len = 0;
    if (!Ask(w, WM_GETTEXTLENGTH, 0, 0, len)) return "";
    size_t n = ClampLength((long long)len, kMaxText);
    if (n == 0) return "";
    std::string buf(n + 1, '\0');
    DWORD_PTR got = 0;
    if (!Ask(w, WM_GETTEXT, WPARAM(n + 1), LPARAM(&buf[0]), got)) return "";
    buf.resize(ClampLength((long long)got, n));
    return buf;
}

// The caption without sending a message: GetWindowTextLength would send one, and
// a window whose thread is still building it (or is hung) would stall the search.
std::string CaptionOf(HWND w) {
    char buf[4096];
    int got = GetWindowTextA(w, buf, int(sizeof buf));
    return std::string(buf, ClampLength(got, sizeof buf - 1));
}

// Rectangle in the parent's client coordinates.
RECT RectInParent(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    if (r.left > r.right) std::swap(r.left, r.right);  // mirrored parents
    return r;
}

std::string RectString(const RECT& r) { return RectText(r.left, r.top, r.right - r.left, r.bottom - r.top); }

uint32_t StyleOf(HWND w) { return uint32_t(GetWindowLongA(w, GWL_STYLE)); }
uint32_t ExStyleOf(HWND w) { return uint32_t(GetWindowLongA(w, GWL_EXSTYLE)); }

std::vector<HWND> ChildrenOf(HWND w) {
    std::vector<HWND> r;
    for (HWND c = GetWindow(w, GW_CHILD); c && int(r.size()) < kMaxChildren; c = GetWindow(c, GW_HWNDNEXT))
        r.push_back(c);
    return r;
}

HWND FocusOf(HWND w) {
    GUITHREADINFO gi{};
    gi.cbSize = sizeof gi;
    DWORD tid = GetWindowThreadProcessId(w, nullptr);
    if (tid && GetGUIThreadInfo(tid, &gi)) return gi.hwndFocus;
    return nullptr;
}

// ---- finding the window ------------------------------------------------------

struct Selector {
    const RobotArgs& a;
    bool Matches(HWND w) const {
        if (!a.includeHidden && !IsWindowVisible(w)) return false;
        if (a.hasClass && !SameClassName(ClassOf(w), a.className)) return false;
        if (a.hasTitle && CaptionOf(w) != a.title) return false;
        return true;
    }
};

struct FindState {
    const Selector* sel;
    HWND found;
};

BOOL CALLBACK FindProc(HWND w, LPARAM lp) {
    auto* st = reinterpret_cast<FindState*>(lp);
    if (!st->sel->Matches(w)) return TRUE;
    st->found = w;
    return FALSE;
}

HWND FindMatch(const Selector& sel) {
    if (sel.a.hasHandle) {
        HWND w = reinterpret_cast<HWND>(static_cast<uintptr_t>(sel.a.handle));
        if (!IsWindow(w) || GetAncestor(w, GA_PARENT) != GetDesktopWindow()) return nullptr;
        return sel.Matches(w) ? w : nullptr;
    }
    FindState st{&sel, nullptr};
    EnumWindows(FindProc, reinterpret_cast<LPARAM>(&st));
    return st.found;
}

// What must not change between two looks for the window to count as built.
std::string Layout(HWND w) {
    RECT r{};
    GetWindowRect(w, &r);
    std::string s = RectString(r);
    for (HWND c : ChildrenOf(w)) {
        RECT cr{};
        GetWindowRect(c, &cr);
        s += "|" + HexText(uint32_t(uintptr_t(c))) + ":" + RectString(cr) + ":" + HexText(StyleOf(c));
    }
    return s;
}

// A window counts once it is visible, its thread answers in its message loop (the
// message boxes create every child before they enter it) and its layout held still
// across that round trip. Sent messages are handled before posted ones, so the
// answer also means the target is waiting for input.
HWND WaitReady(const Selector& sel, int64_t timeoutMs) {
    Deadline d(timeoutMs);
    for (;;) {
        HWND w = FindMatch(sel);
        if (w) {
            std::string before = Layout(w);
            DWORD_PTR r = 0;
            int64_t left = d.Left();
            UINT ms = UINT(left < 500 ? (left > 0 ? left : 1) : 500);
            if (Ask(w, WM_NULL, 0, 0, r, ms) && Layout(w) == before) return w;
        } else {
            Pause(std::min<int64_t>(d.Left(), 50));
        }
        if (d.Left() == 0) return nullptr;
    }
}

// A closed window can stay a valid handle, hidden, until its process has ended.
bool Alive(HWND w) { return IsWindow(w) && IsWindowVisible(w); }

// Lets the target work through what was posted to it. A sent message is handled at
// the start of the target's next GetMessage, maybe before a posted one already
// waiting, so each answered WM_NULL proves one more pass of its loop: n + 1 answers
// prove that n posted messages were handled. Asked in short slices so that a window
// closing meanwhile ends the wait at once. False when the window went away.
bool Settle(HWND w, int rounds) {
    for (int i = 0; i < rounds; ++i) {
        Deadline d(kSendMs);
        for (;;) {
            if (!Alive(w)) return false;
            DWORD_PTR r = 0;
            if (Ask(w, WM_NULL, 0, 0, r, 50)) break;
            if (d.Left() == 0) return Alive(w);  // busy: go on, the keys stay queued in order
        }
    }
    return Alive(w);
}

// ---- description -------------------------------------------------------------

bool IsTextArea(const std::string& cls) { return IsRichEditClass(cls) || SameClassName(cls, "Edit"); }

// Bold flags one character at a time: select it and ask for the selection's format.
// The format record lives in the target, since the pointer is read there.
bool ReadBold(HWND edit, const std::string& text, std::vector<RobotRange>& ranges) {
    size_t length = text.size();
    DWORD pid = 0;
    GetWindowThreadProcessId(edit, &pid);
    Handle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
    if (!process.get()) return false;
    constexpr SIZE_T kRange = 0, kFormat = 64;
    RemoteBlock block(process.get(), 4096);
    if (!block.get()) return false;
    DWORD_PTR r = 0;
    CHARRANGE saved{};
    if (!Ask(edit, EM_EXGETSEL, 0, LPARAM(block.get() + kRange), r) || !block.Read(kRange, &saved, sizeof saved))
        return false;
    std::vector<bool> bold(std::min(length, kMaxBoldScan), false);
    bool ok = true;
    for (size_t i = 0; i < bold.size() && ok; ++i) {
        CHARFORMATA cf{};
        cf.cbSize = sizeof cf;
        ok = Ask(edit, EM_SETSEL, WPARAM(i), LPARAM(i + 1), r) && block.Write(kFormat, &cf, sizeof cf) &&
             Ask(edit, EM_GETCHARFORMAT, SCF_SELECTION, LPARAM(block.get() + kFormat), r) &&
             block.Read(kFormat, &cf, sizeof cf);
        bold[i] = ok && (cf.dwMask & CFM_BOLD) && (cf.dwEffects & CFE_BOLD);
    }
    // A line break shows nothing: the format the control reports for it is the one of
    // the text before it, which would stretch every range that ends a line.
    for (size_t i = 0; i < bold.size() && i < text.size(); ++i)
        if (text[i] == '\r' || text[i] == '\n') bold[i] = false;
    if (block.Write(kRange, &saved, sizeof saved)) Ask(edit, EM_EXSETSEL, 0, LPARAM(block.get() + kRange), r);
    ranges = RangesFromFlags(bold);
    return ok;
}

struct Button {
    HWND w;
    std::string caption;
};

std::vector<Button> ButtonsOf(HWND box) {
    std::vector<HWND> found;
    std::vector<int> xs, ys;
    for (HWND c : ChildrenOf(box)) {
        if (!SameClassName(ClassOf(c), "Button")) continue;
        RECT r = RectInParent(c);
        found.push_back(c);
        xs.push_back(r.left);
        ys.push_back(r.top);
    }
    std::vector<Button> r;
    for (int i : OrderLeftToRight(xs, ys)) r.push_back({found[size_t(i)], TextOf(found[size_t(i)])});
    return r;
}

int Show(HWND box) {
    RECT wr{}, cr{};
    GetWindowRect(box, &wr);
    GetClientRect(box, &cr);
    HWND focus = FocusOf(box);
    Out("hwnd=" + HexText(uint32_t(uintptr_t(box))));
    Out("class=" + EscapeText(ClassOf(box)));
    Out("caption=" + EscapeText(CaptionOf(box)));
    Out("rect=" + RectString(wr));
    Out("client=" + std::to_string(cr.right - cr.left) + "," + std::to_string(cr.bottom - cr.top));
    Out("style=" + HexText(StyleOf(box)));
    Out("exstyle=" + HexText(ExStyleOf(box)));

    HWND text = nullptr;
    std::vector<HWND> others;
    for (HWND c : ChildrenOf(box)) {
        std::string cls = ClassOf(c);
        if (!text && IsTextArea(cls))
            text = c;
        else if (!SameClassName(cls, "Button"))
            others.push_back(c);
    }
    if (text) {
        std::string cls = ClassOf(text), body = TextOf(text);
        uint32_t st = StyleOf(text), ex = ExStyleOf(text);
        Out("textclass=" + EscapeText(cls));
        Out("text=" + EscapeText(body));
        std::vector<RobotRange> ranges;
        if (IsRichEditClass(cls) && !ReadBold(text, body, ranges)) Err("could not read the bold ranges");
        Out("bold=" + FormatRanges(ranges));
        Out("textrect=" + RectString(RectInParent(text)));
        Out("textstyle=" + HexText(st));
        Out("textexstyle=" + HexText(ex));
        Out(std::string("right=") + ((st & ES_RIGHT) ? "1" : "0"));
        Out(std::string("rtlreading=") + ((ex & WS_EX_RTLREADING) ? "1" : "0"));
    }
    std::vector<Button> buttons = ButtonsOf(box);
    Out("buttons=" + std::to_string(buttons.size()));
    for (size_t i = 0; i < buttons.size(); ++i) {
        HWND b = buttons[i].w;
        bool def = (StyleOf(b) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        Out("button." + std::to_string(i) + "=" + EscapeText(buttons[i].caption) + " default=" + (def ? "1" : "0") +
            " focus=" + (b == focus ? "1" : "0") + " rect=" + RectString(RectInParent(b)));
    }
    for (size_t i = 0; i < others.size(); ++i) {
        HWND c = others[i];
        std::string cls = ClassOf(c);
        std::string line = "child." + std::to_string(i) + "=" + EscapeText(cls, true) + "|" +
                           EscapeText(TextOf(c), true) + "|" + RectString(RectInParent(c)) + "|" +
                           HexText(StyleOf(c)) + "|" + HexText(ExStyleOf(c));
        if (SameClassName(cls, PROGRESS_CLASSA)) {
            DWORD_PTR lo = 0, hi = 0, pos = 0;
            if (Ask(c, PBM_GETRANGE, TRUE, 0, lo) && Ask(c, PBM_GETRANGE, FALSE, 0, hi) && Ask(c, PBM_GETPOS, 0, 0, pos))
                line += "|range=" + std::to_string(int(lo)) + "-" + std::to_string(int(hi)) +
                        "|pos=" + std::to_string(int(pos));
        }
        Out(line);
    }
    return kRobotOk;
}

// ---- actions -----------------------------------------------------------------

int Press(HWND box, const RobotArgs& a) {
    std::vector<Button> buttons = ButtonsOf(box);
    int i = -1;
    if (a.hasIndex) {
        i = a.index < int(buttons.size()) ? a.index : -1;
    } else {
        std::vector<std::string> captions;
        for (const Button& b : buttons) captions.push_back(b.caption);
        i = FindButton(captions, a.button);
    }
    if (i < 0) {
        Err("no such button");
        return kRobotFailed;
    }
    HWND b = buttons[size_t(i)].w;
    if (!IsWindowEnabled(b)) {
        Err("the button is disabled");
        return kRobotFailed;
    }
    // Posted, so the click runs inside the target's own loop and never blocks the robot.
    if (!PostMessageA(b, BM_CLICK, 0, 0)) {
        Err("could not post the click");
        return kRobotFailed;
    }
    // The click, and the close message the box may post itself.
    Settle(box, 3);
    return kRobotOk;
}

int Keys(HWND box, const RobotArgs& a) {
    for (size_t k = 0; k < a.keys.size(); ++k) {
        if (!Alive(box)) {
            Err("the window went away after " + std::to_string(k) + " of " + std::to_string(a.keys.size()) + " keys");
            return kRobotFailed;
        }
        const RobotKey& key = a.keys[k];
        HWND to = FocusOf(box);
        if (!to || (to != box && !IsChild(box, to))) to = box;
        unsigned vk = key.kind == RobotKey::Kind::Key ? key.code : unsigned(VkKeyScanA(char(key.code)) & 0xFF);
        unsigned scan = MapVirtualKeyA(vk, 0 /* MAPVK_VK_TO_VSC */);
        std::vector<PostedKeyMessage> msgs = KeyMessages(key, scan);
        for (const PostedKeyMessage& m : msgs) {
            if (!PostMessageA(to, m.message, m.wParam, LPARAM(m.lParam))) {
                Err("could not post a key message");
                return kRobotFailed;
            }
        }
        // One message more than posted: the translated WM_CHAR, or the close message
        // the box posts itself when the key chose a button.
        Settle(box, int(msgs.size()) + 2);
    }
    return kRobotOk;
}

UINT MessageOf(const std::string& text) {
    uint32_t number = 0;
    return MessageNumberOf(text, number) ? UINT(number) : RegisterWindowMessageA(text.c_str());
}

int SendOrPost(HWND w, const RobotArgs& a) {
    UINT msg = MessageOf(a.message);
    if (msg == 0) {
        Err("no such message: " + a.message);
        return kRobotFailed;
    }
    if (a.command == RobotCommand::Post) {
        if (PostMessageA(w, msg, WPARAM(a.wParam), LPARAM(a.lParam))) return kRobotOk;
        Err("could not post the message");
        return kRobotFailed;
    }
    DWORD_PTR result = 0;
    if (!Ask(w, msg, WPARAM(a.wParam), LPARAM(a.lParam), result)) {
        Err("the window did not answer");
        return kRobotFailed;
    }
    Out("result=" + std::to_string(uint32_t(result)));
    return kRobotOk;
}

// A hidden window of the robot's own asks the target to report to it, then prints
// every report (wParam, lParam) that arrives within the duration.
int Listen(HWND target, const RobotArgs& a) {
    UINT msg = MessageOf(a.message), note = UINT(a.notify);
    HWND self = CreateWindowExA(0, "STATIC", "winrobot listener", 0, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    if (!self || msg == 0) {
        Err("could not set up the listener");
        return kRobotFailed;
    }
    if (!PostMessageA(target, msg, WPARAM(self), LPARAM(note))) {
        DestroyWindow(self);
        Err("could not post the message");
        return kRobotFailed;
    }
    Deadline d(a.durationMs);
    while (d.Left() > 0) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(std::min<int64_t>(d.Left(), 100)), QS_ALLINPUT);
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == note && m.hwnd == self)
                Out("note=" + std::to_string(uint32_t(m.wParam)) + "," + std::to_string(uint32_t(m.lParam)));
            else
                DispatchMessageA(&m);
        }
    }
    DestroyWindow(self);
    return kRobotOk;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    RobotArgs a;
    std::string error;
    if (!ParseRobotArgs(args, a, error)) {
        Err(error);
        WriteTo(STD_ERROR_HANDLE, RobotUsage());
        return kRobotUsage;
    }
    // Connecting to the desktop can take a while when it is still starting (the first
    // GUI program of a session); the timeout counts from when windows can be seen.
    GetDesktopWindow();
    Selector sel{a};
    if (a.command == RobotCommand::WaitGone) {
        Deadline d(a.timeoutMs);
        while (FindMatch(sel)) {
            if (d.Left() == 0) {
                Err("the window is still there");
                return kRobotNotFound;
            }
            Pause(std::min<int64_t>(d.Left(), 50));
        }
        return kRobotOk;
    }
    HWND w = WaitReady(sel, a.timeoutMs);
    if (!w) {
        Err("no such window");
        return kRobotNotFound;
    }
    switch (a.command) {
    case RobotCommand::Wait:
        Out("hwnd=" + HexText(uint32_t(uintptr_t(w))));
        return kRobotOk;
    case RobotCommand::Show:
        return Show(w);
    case RobotCommand::Press:
        return Press(w, a);
    case RobotCommand::Keys:
        return Keys(w, a);
    case RobotCommand::Send:
    case RobotCommand::Post:
        return SendOrPost(w, a);
    case RobotCommand::Listen:
        return Listen(w, a);
    case RobotCommand::Close:
        if (!PostMessageA(w, WM_CLOSE, 0, 0)) {
            Err("could not post WM_CLOSE");
            return kRobotFailed;
        }
        return kRobotOk;
    default:
        return kRobotUsage;
    }
}
