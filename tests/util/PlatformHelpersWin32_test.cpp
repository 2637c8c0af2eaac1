// INI files, the registry, waits and window helpers against the real platform.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/TestFiles.h"
#include "util/PlatformHelpers.h"

TEST(Ini, ReadsWithDefaultsAndWritesEmptyValues) {
  TempDir dir;
  std::string ini = dir.File("settings.ini");
  WriteBytes(ini, "[Main]\r\nName=Demo\r\nEmpty=\r\nCount=12abc\r\nNeg=-5\r\nPadded=  x  \r\n");
  EXPECT_EQ(ReadIniString(ini, "main", "NAME", "d"), "Demo");
  EXPECT_EQ(ReadIniString(ini, "Main", "Empty", "d"), "d");      // empty reads as the default
  EXPECT_EQ(ReadIniString(ini, "Main", "Missing", "d  "), "d  ");  // the default keeps its blanks
  EXPECT_EQ(ReadIniString(ini, "", "Name", "d"), "d");
  EXPECT_EQ(ReadIniString(ini, "Main", "", "d"), "d");
  EXPECT_EQ(ReadIniString(ini, "Main", "Padded", "d"), "x");
  EXPECT_EQ(ReadIniInt(ini, "Main", "Count", 7), 7);
  EXPECT_EQ(ReadIniInt(ini, "Main", "Neg", 7), -5);
  EXPECT_EQ(ReadIniInt(ini, "Main", "Missing", 7), 7);

  EXPECT_TRUE(WriteIniString(ini, "Main", "Name", ""));
  EXPECT_NE(ReadBytes(ini).find("Name="), std::string::npos);  // the key stays
  EXPECT_TRUE(WriteIniInt(ini, "New", "Big", 5000000000LL));
  EXPECT_EQ(ReadIniInt(ini, "New", "Big", 0), 5000000000LL);
  EXPECT_FALSE(WriteIniString("", "Main", "Name", "x"));
  EXPECT_FALSE(WriteIniString(ini, "", "Name", "x"));
  EXPECT_FALSE(WriteIniString(ini, "Main", "", "x"));
}

TEST(Registry, ReadsRealValues) {
  // Values written through the real API under a private key.
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\StubTests\\Utils", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  DWORD all = 0xFFFFFFFF;
  RegSetValueExA(key, "Dword", 0, REG_DWORD, reinterpret_cast<BYTE*>(&all), 4);
  const char multi[] = "one\0two\0";
  RegSetValueExA(key, "Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), sizeof multi);
  RegSetValueExA(key, "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>("hello"), 6);
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("default"), 8);
  std::string big(20000, 'x');
  RegSetValueExA(key, "Big", 0, REG_SZ, reinterpret_cast<const BYTE*>(big.c_str()), DWORD(big.size() + 1));
  RegCloseKey(key);

  const std::string at = "HKCU\\Software\\StubTests\\Utils";
  EXPECT_EQ(ReadRegistryString(at, "Dword", "d"), "4294967295");
  EXPECT_EQ(ReadRegistryString(at, "Multi", "d"), "one<0>two");
  EXPECT_EQ(ReadRegistryString(at, "Text", "d"), "hello");
  EXPECT_EQ(ReadRegistryString("Software\\StubTests\\Utils", "Text", "d"), "hello");
  EXPECT_EQ(ReadRegistryString(at, "", "d"), "default");
  EXPECT_EQ(ReadRegistryString(at, "Big", "d"), "d");  // larger than the read buffer
  EXPECT_EQ(ReadRegistryString(at, "Missing", "d"), "d");
  EXPECT_EQ(ReadRegistryString("HKCU\\Software\\NoSuchKeyHere", "Text", "d"), "d");
  RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\StubTests\\Utils");
}

TEST(LastErrorText, NamesTheCodeTakenFirst) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  std::string text = LastErrorText();
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.back(), '.');
  EXPECT_NE(text.back(), '\n');
  EXPECT_EQ(text, ErrorText(ERROR_FILE_NOT_FOUND));
  EXPECT_NE(ErrorText(ERROR_ACCESS_DENIED), text);
}

namespace {
int g_handled = 0;
LRESULT CALLBACK CountingProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_APP + 1) {
    ++g_handled;
    return 0;
  }
  return DefWindowProcA(w, m, wp, lp);
}
void CALLBACK PostOnTimer(HWND w, UINT, UINT_PTR, DWORD) { PostMessageA(w, WM_APP + 1, 0, 0); }
}  // namespace

TEST(WaitPumping, HandlesMessagesPostedDuringTheWait) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = CountingProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "StubTestsPumpWindow";
  RegisterClassA(&wc);
  HWND w = CreateWindowA("StubTestsPumpWindow", "pump", 0, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_TRUE(w);
  g_handled = 0;
  PostMessageA(w, WM_APP + 1, 0, 0);
  uint64_t t0 = MilliClock();
  WaitPumping(0, 0);  // pumps once, also for no time at all
  EXPECT_EQ(g_handled, 1);
  // A timer posts during the wait; the wait dispatches it.
  SetTimer(w, 1, 20, PostOnTimer);
  WaitPumping(0, 300);
  KillTimer(w, 1);
  EXPECT_GE(MilliClock() - t0, 300u);
  EXPECT_GE(g_handled, 3);
  // A quit request seen by a wait is left for the thread's own loop.
  PostQuitMessage(7);
  WaitPumping(5, 10);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
  DestroyWindow(w);
}

TEST(WindowHelpers, NamesOwnersAndPlaces) {
  HWND owner = CreateWindowA("STATIC", "Owner text", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  HWND owned = CreateWindowA("STATIC", "owned", WS_POPUP, 0, 0, 10, 10, owner, nullptr, nullptr, nullptr);
  ASSERT_TRUE(owner && owned);
  EXPECT_EQ(_stricmp(ClassNameOf(owner).c_str(), "Static"), 0);
  EXPECT_EQ(WindowTextOf(owner), "Owner text");
  EXPECT_EQ(RootOwner(owned), owner);
  EXPECT_EQ(ClassNameOf(nullptr), "");
  RECT area;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
  POINT p = CenterInWorkArea(492, 110);
  EXPECT_EQ(p.x, area.left + (area.right - area.left - 492) / 2);
  EXPECT_EQ(p.y, area.top + (area.bottom - area.top - 110) / 2);
  DestroyWindow(owned);
  DestroyWindow(owner);
  EXPECT_GT(PointsToPixels(8), 8);
  EXPECT_EQ(AutoPlayMessage(), 0u);
  EnableAutoPlayCancel(true);
  EXPECT_EQ(AutoPlayMessage(), RegisterWindowMessageA("QueryCancelAutoPlay"));
  EnableAutoPlayCancel(false);
  EXPECT_EQ(AutoPlayMessage(), 0u);
}

TEST(SystemLibraries, LoadOnlyFromTheSystemFolder) {
  RestrictDllSearch();
  HMODULE m = nullptr;
  EXPECT_TRUE(LoadProc("version.dll", "GetFileVersionInfoSizeA", &m));
  ASSERT_TRUE(m);
  char path[MAX_PATH], system[MAX_PATH];
  GetModuleFileNameA(m, path, MAX_PATH);
  GetSystemDirectoryA(system, MAX_PATH);
  EXPECT_EQ(_strnicmp(path, system, strlen(system)), 0) << path;
  EXPECT_FALSE(LoadProc("version.dll", "NoSuchFunction"));
  EXPECT_FALSE(LoadProc("no-such-library.dll", "X"));
  EXPECT_FALSE(LoadSystemLibrary("..\\x.dll"));
  PreloadLibraries();
  EXPECT_TRUE(GetModuleHandleA("RICHED32.DLL"));
}
