// What the cases cannot see from outside: the About entry of the system menu,
// a close while the window is minimised, and halvok-run's close of a program
// that does not end.
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
    // The OK button's command, as its click gives it: a simulated click
    // depends on the mouse, which a drop test running beside may hold.
    SendMessageA(hAbout, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(hAbout, IDOK)));
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

// halvok-run --close gives up after the seconds it is given, with exit
// status 1, when the process shows no window to close and does not end.
TEST(Program, CloseOfARunThatDoesNotEndGivesUpInTime) {
    auto start = [](std::string cmd) {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
        CloseHandle(pi.hThread);
        return pi;
    };
    SetEnvironmentVariableA("HALVOK_FAKEARC_SLEEP_MS", "30000");
    const PROCESS_INFORMATION busy = start("\"" + ProgramDir() + "fakearc.exe\"");
    SetEnvironmentVariableA("HALVOK_FAKEARC_SLEEP_MS", nullptr);
    const PROCESS_INFORMATION close = start("\"" + ProgramDir() + "halvok-run.exe\" --close " +
                                            std::to_string(busy.dwProcessId) + " 1");
    EXPECT_EQ(WaitForSingleObject(close.hProcess, 15000), WAIT_OBJECT_0);
    DWORD dwExit = 0;
    EXPECT_TRUE(GetExitCodeProcess(close.hProcess, &dwExit) && dwExit == 1) << dwExit;
    TerminateProcess(close.hProcess, 0);
    TerminateProcess(busy.hProcess, 0);
    CloseHandle(close.hProcess);
    CloseHandle(busy.hProcess);
}

} // namespace
