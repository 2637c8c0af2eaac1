// A stand-in message box for the robot's tests: a top-level "VMsgBox" window with a
// rich-edit text holding two bold ranges, three buttons and its own message loop
// with a key filter that looks at key messages before they are dispatched. Prints
// how the box was answered ("via=...") and the result ("result=6"), then exits.
//   robot_target [--title T] [--rtl] [--default N] [--edit] [--progress]
// --edit uses a read-only edit control, --progress shows a progress window instead.
#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Bold: "Demo 1.0" (23-31) and the path (46-64); CR LF counts as two characters.
const char kText[] = "Do you want to install Demo 1.0?\r\nFiles go to C:\\Users\\nina\\temp.";
const char* const kCaptions[3] = {"&Yes", "&No", "&Cancel"};
const int kResults[3] = {6, 7, 2};

HWND g_box, g_buttons[3];
int g_result;
const char* g_via = "close";
bool g_done;

void Choose(int i, const char* via) {
    g_result = kResults[i];
    g_via = via;
    PostMessageA(g_box, WM_CLOSE, 0, 0);
}

int FocusIndex() {
    HWND f = GetFocus();
    for (int i = 0; i < 3; ++i)
        if (g_buttons[i] == f) return i;
    return -1;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

// True when the message was handled here and must not be dispatched.
bool KeyFilter(const MSG& m) {
    if (m.message == WM_CHAR) {
        for (int i = 0; i < 3; ++i) {
            char second = kCaptions[i][1];
            if (second == char(m.wParam) || second == Upper(char(m.wParam))) {
                Choose(i, "char");
                return true;
            }
        }
        return false;
    }
    if (m.message != WM_KEYDOWN) return false;
    int f = FocusIndex();
    switch (m.wParam) {
    case VK_LEFT:
    case VK_UP:
        SetFocus(g_buttons[(f < 0 ? 0 : f + 2) % 3]);
        return true;
    case VK_TAB:
    case VK_RIGHT:
    case VK_DOWN:
        SetFocus(g_buttons[(f + 1) % 3]);
        return true;
    case VK_RETURN:
        if (f < 0) return false;
        Choose(f, "enter");
        return true;
    case VK_ESCAPE:
        g_via = "escape";
        PostMessageA(g_box, WM_CLOSE, 0, 0);
        return true;
    default:
        break;
    }
    if (m.wParam >= 'A' && m.wParam <= 'Z') {
        int found = -1;  // the last match wins
        for (int i = 0; i < 3; ++i) {
            const char* amp = std::strchr(kCaptions[i], '&');
            if (amp && Upper(amp[1]) == char(m.wParam)) found = i;
        }
        if (found >= 0) {
            Choose(found, "keydown");
            return true;
        }
    }
    return false;
}

LRESULT CALLBACK BoxProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED)
            for (int i = 0; i < 3; ++i)
                if (reinterpret_cast<HWND>(lp) == g_buttons[i]) Choose(i, "click");
        return 0;
    case WM_DESTROY:
        g_done = true;
        return 0;
    default:
        return DefWindowProcA(w, msg, wp, lp);
    }
}

int RunProgress(const char* title, HINSTANCE inst) {
    InitCommonControls();
    WNDCLASSA wc{};
    wc.lpfnWndProc = BoxProc;
    wc.hInstance = inst;
    wc.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
    wc.lpszClassName = "RobotProgress";
    if (!RegisterClassA(&wc)) return 3;
    g_box = CreateWindowExA(0, wc.lpszClassName, title, WS_VISIBLE | WS_CAPTION | WS_SYSMENU, 100, 100, 492, 110,
                            nullptr, nullptr, inst, nullptr);
    if (!g_box) return 4;
    CreateWindowExA(0, "Static", "Extracting files...", WS_CHILD | WS_VISIBLE, 10, 8, 460, 16, g_box, nullptr, inst,
                    nullptr);
    HWND p1 = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 10, 30, 460, 14, g_box, nullptr, inst,
                              nullptr);
    HWND p2 = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 10, 50, 460, 8, g_box, nullptr, inst,
                              nullptr);
    SendMessageA(p1, PBM_SETRANGE32, 0, 1000);
    SendMessageA(p1, PBM_SETPOS, 250, 0);
    SendMessageA(p2, PBM_SETRANGE32, 0, 100);
    SendMessageA(p2, PBM_SETPOS, 40, 0);
    MSG m;
    while (!g_done && GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    std::printf("via=%s\nresult=0\n", g_via);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const char* title = "Robot Target";
    bool rtl = false, edit = false, progress = false;
    int def = 0;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--title") && i + 1 < argc)
            title = argv[++i];
        else if (!std::strcmp(argv[i], "--default") && i + 1 < argc)
            def = std::atoi(argv[++i]) % 3;
        else if (!std::strcmp(argv[i], "--rtl"))
            rtl = true;
        else if (!std::strcmp(argv[i], "--edit"))
            edit = true;
        else if (!std::strcmp(argv[i], "--progress"))
            progress = true;
        else
            return 2;
    }
    if (def < 0) def = 0;
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    HINSTANCE inst = GetModuleHandleA(nullptr);
    if (progress) return RunProgress(title, inst);

    HMODULE riched = edit ? nullptr : LoadLibraryA("RICHED32.DLL");
    if (!edit && !riched) return 5;
    WNDCLASSA wc{};
    wc.lpfnWndProc = BoxProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
    wc.lpszClassName = "VMsgBox";
    if (!RegisterClassA(&wc)) return 3;
    // Created tiny and off-screen, then laid out, as the stub's box does.
    g_box = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, "VMsgBox", title, WS_VISIBLE | WS_CAPTION | WS_SYSMENU,
                            -100, -100, 10, 10, nullptr, nullptr, inst, nullptr);
    if (!g_box) return 4;
    DWORD style = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY | (rtl ? ES_RIGHT : 0);
    HWND text = CreateWindowExA(rtl ? WS_EX_RTLREADING : 0, edit ? "Edit" : "RICHEDIT", "", style, 86, 30, 100, 13,
                                g_box, nullptr, inst, nullptr);
    if (!text) return 6;
    // A normal-weight font: the default system font is bold and would hide the ranges.
    SendMessageA(text, WM_SETFONT, WPARAM(GetStockObject(DEFAULT_GUI_FONT)), 0);
    SetWindowTextA(text, kText);
    if (!edit) {
        CHARFORMATA cf{};
        cf.cbSize = sizeof cf;
        cf.dwMask = CFM_BOLD;
        cf.dwEffects = CFE_BOLD;
        const int ranges[2][2] = {{23, 31}, {46, 64}};
        for (const auto& r : ranges) {
            SendMessageA(text, EM_SETSEL, r[0], r[1]);
            SendMessageA(text, EM_SETCHARFORMAT, SCF_SELECTION, LPARAM(&cf));
        }
        SendMessageA(text, EM_SETSEL, 0, 0);
    }
    MoveWindow(g_box, 200, 150, 420, 170, TRUE);
    RECT c{};
    GetClientRect(g_box, &c);
    MoveWindow(text, 86, 20, c.right - 96, c.bottom - 70, TRUE);
    for (int i = 0; i < 3; ++i) {
        DWORD bs = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == def ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        g_buttons[i] = CreateWindowExA(0, "Button", kCaptions[i], bs, c.right - 220 + 70 * i, c.bottom - 29, 70, 23,
                                       g_box, HMENU(INT_PTR(100 + i)), inst, nullptr);
    }
    SetFocus(g_buttons[def]);

    MSG m;
    while (!g_done && GetMessageA(&m, nullptr, 0, 0) > 0) {
        if (KeyFilter(m)) continue;
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    std::printf("via=%s\nresult=%d\n", g_via, g_result);
    UnregisterClassA("VMsgBox", inst);
    if (riched) FreeLibrary(riched);
    return 0;
}
