// What the cases cannot see from outside: the About entry of the system menu,
// and a close while the window is minimised.
#include <gtest/gtest.h>

#include "app/Globals.h"
#include "tests/win/WinRig.h"
#include "ui/resource.h"

namespace {

// The About box's dialog of the main window's thread, once it is up.
HWND AboutBox() {
    HWND hAbout = nullptr;
    WaitFor([&] {
        hAbout = FindWindowA("#32770", "О программе");
        return hAbout && GetWindowThreadProcessId(hAbout, nullptr) ==
                             GetWindowThreadProcessId(g_hMainWnd, nullptr);
    });
    return hAbout;
}

TEST(Program, AboutEntryOpensTheAboutBox) {
    ScratchDir dir("about");
    TestApp app(dir / "halvok.ini", "");
    char szEntry[64] = "";
    GetMenuStringA(GetSystemMenu(g_hMainWnd, FALSE), IDM_ABOUTBOX, szEntry, sizeof szEntry,
                   MF_BYCOMMAND);
    EXPECT_STREQ(szEntry, "&О программе...");
    PostMessageA(g_hMainWnd, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    HWND hAbout = AboutBox();
    ASSERT_NE(hAbout, nullptr);
    SendMessageA(GetDlgItem(hAbout, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(hAbout); }));
    EXPECT_TRUE(IsWindow(g_hMainWnd));
}

// A minimised window's rectangle lies off the screen; it opens next time at
// the origin.
TEST(Program, MinimisedCloseSavesTheOrigin) {
    ScratchDir dir("minimised");
    const std::string ini = dir.File("halvok.ini", "[Options]\r\nPosX=150\r\nPosY=90\r\n");
    TestApp app(ini, "");
    // Under Wine a late event from the start-up move can restore the window at
    // once: minimise until it stays minimised.
    for (int i = 0; i < 20 && !IsIconic(g_hMainWnd); ++i) {
        ShowWindow(g_hMainWnd, SW_MINIMIZE);
        Sleep(150);
    }
    app.Shutdown();
    EXPECT_EQ(GetPrivateProfileIntA("Options", "PosX", -1, ini.c_str()), 0);
    EXPECT_EQ(GetPrivateProfileIntA("Options", "PosY", -1, ini.c_str()), 0);
}

} // namespace
