// What the cases cannot see from outside: the About entry of the system menu,
// a close while the window is minimised, the list's sideways scroll, and
// halvok-run's close of a program that does not end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

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

// The list scrolls sideways exactly as far as its widest line, measured in
// its own font: the status at the end of a long name can be read.
TEST(Program, ListScrollsToItsWidestLine) {
    ScratchDir dir("wide");
    const std::string name(120, 'w');
    dir.File("a.htm", "<p></p>");
    dir.File(name + ".htm", "<p></p>");
    // A missing page keeps the window open.
    TestApp app(dir.Ini("bArc=0\r\n"),
                "\"" + (dir / "a.htm") + "\" \"" + (dir / name) + ".htm\" " + (dir / "gone.htm"));
    ASSERT_TRUE(WaitFor([&] { return app.Lines().size() == 3; }));
    const HWND hList = GetDlgItem(g_hMainWnd, 1000);
    EXPECT_TRUE(GetWindowLongW(hList, GWL_STYLE) & WS_HSCROLL);
    HDC hdc = GetDC(hList);
    SelectObject(hdc, reinterpret_cast<HGDIOBJ>(SendMessageW(hList, WM_GETFONT, 0, 0)));
    LONG cxWidest = 0;
    for (const std::string& line : app.Lines()) {
        const std::wstring wide = Wide(line);
        SIZE size{};
        GetTextExtentPoint32W(hdc, wide.c_str(), int(wide.size()), &size);
        cxWidest = std::max(cxWidest, size.cx);
    }
    ReleaseDC(hList, hdc);
    RECT rc;
    GetClientRect(hList, &rc);
    const LRESULT cxExtent = SendMessageW(hList, LB_GETHORIZONTALEXTENT, 0, 0);
    EXPECT_GT(cxWidest, rc.right); // the long line does not fit the list
    EXPECT_GE(cxExtent, cxWidest);
    EXPECT_LE(cxExtent, cxWidest + 8);
}

// Starts a program of the test's folder; its standard error goes to hErr
// when given.
PROCESS_INFORMATION Start(std::string cmd, HANDLE hErr = nullptr) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = hErr ? STARTF_USESTDHANDLES : 0;
    si.hStdError = hErr;
    PROCESS_INFORMATION pi{};
    CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, hErr != nullptr, 0, nullptr, nullptr, &si,
                   &pi);
    CloseHandle(pi.hThread);
    return pi;
}

// halvok-run --close gives up after the seconds it is given, with exit
// status 1, when the process shows no window to close and does not end.
TEST(Program, CloseOfARunThatDoesNotEndGivesUpInTime) {
    auto start = [](const std::string& cmd) { return Start(cmd); };
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

// A command-line run whose every line is Ok, yet whose program does not end
// by itself (here the About box was open when its close came): halvok-run
// without --watch says so and fails the run.
TEST(Program, RunWhoseOkWindowDoesNotCloseFails) {
    ScratchDir dir("stays-open");
    // Under a name of its own and away from where their windows open: the
    // cases running beside find their window by the program's name, and a
    // drop lands on the window under it.
    dir.Ini("PosX=600\r\nPosY=500\r\n");
    CopyFileA((ProgramDir() + "halvok.exe").c_str(), (dir / "staysopen.exe").c_str(), FALSE);
    const std::string page = dir.File("a.htm", "<html></html>");
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE hErr = CreateFileA((dir / "err.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa,
                              CREATE_ALWAYS, 0, nullptr);
    // The page's archiver takes long enough for the About box to open first.
    SetEnvironmentVariableA("HALVOK_FAKEARC_SLEEP_MS", "3000");
    const PROCESS_INFORMATION run = Start("\"" + ProgramDir() + "halvok-run.exe\" \"" +
                                              (dir / "staysopen.exe") + "\" \"" + page + "\"",
                                          hErr);
    SetEnvironmentVariableA("HALVOK_FAKEARC_SLEEP_MS", nullptr);
    CloseHandle(hErr);
    DWORD dwHalvok = 0;
    WaitFor([&] {
        return sscanf(ReadBytes(dir / "err.txt").c_str(), "halvok-run: process %lu", &dwHalvok) ==
               1;
    });
    HWND hMain = nullptr;
    WaitFor([&] {
        for (HWND h = nullptr; (h = FindWindowExA(nullptr, h, "#32770", nullptr));) {
            DWORD dwPid = 0;
            GetWindowThreadProcessId(h, &dwPid);
            if (dwPid == dwHalvok && GetDlgItem(h, 1000))
                hMain = h;
        }
        return hMain != nullptr;
    });
    PostMessageA(hMain, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    EXPECT_EQ(WaitForSingleObject(run.hProcess, 60000), WAIT_OBJECT_0);
    DWORD dwExit = 0;
    EXPECT_TRUE(GetExitCodeProcess(run.hProcess, &dwExit) && dwExit == 1) << dwExit;
    EXPECT_NE(ReadBytes(dir / "err.txt").find("did not close by itself"), std::string::npos)
        << ReadBytes(dir / "err.txt");
    TerminateProcess(run.hProcess, 0);
    CloseHandle(run.hProcess);
    HANDLE hHalvok = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, dwHalvok);
    TerminateProcess(hHalvok, 0);
    WaitForSingleObject(hHalvok, 10000);
    CloseHandle(hHalvok);
}

} // namespace
