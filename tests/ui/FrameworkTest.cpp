// The application object's start-up (command-line tail, InitInstance then
// ExitInstance, the exit code) and the dialog base's endings.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fw/Dialog.h"
#include "fw/WinApp.h"
#include "tests/ui/UiRig.h"
#include "ui/resource.h"

using namespace ui_test;

TEST(CmdLineTail, SkipsTheProgramNameAndTheBlanksAfterIt) {
    struct Case {
        const char* pszFull;
        const char* pszTail;
    } cases[] = {
        {"", ""},
        {"halvok.exe a.htm", "a.htm"},
        {"halvok.exe \t  a.htm  b.htm  ", "a.htm  b.htm  "},
        {"halvok.exe\ta.htm", "a.htm"},
        {"\"C:\\My Tools\\halvok.exe\" \"C:\\My Pages\\a.htm\"", "\"C:\\My Pages\\a.htm\""},
        // A quoted part inside the name does not end it.
        {"C:\\My\" Tools\"\\halvok.exe x", "x"},
        {"\"C:\\My Tools\\halvok.exe\"x y", "y"},
        // An unclosed quote runs to the end: the whole line is the name.
        {"\"C:\\My Tools\\halvok.exe a.htm", ""},
    };
    for (const Case& c : cases) {
        std::string line = c.pszFull;
        char* pszLine = &line[0];
        char* pszTail = AfxCmdLineTail(pszLine);
        EXPECT_STREQ(pszTail, c.pszTail) << c.pszFull;
        // The tail lies inside the line, so the line's lifetime is the tail's.
        EXPECT_EQ(pszTail, pszLine + line.size() - strlen(c.pszTail)) << c.pszFull;
    }
    EXPECT_STREQ(AfxCmdLineTail(nullptr), "");
}

namespace {
class RecordingApp : public CWinApp {
  public:
    BOOL InitInstance() override {
        m_calls += "init;";
        m_cmdLine = m_lpCmdLine;
        return m_bInitResult;
    }
    int ExitInstance() override {
        m_calls += "exit;";
        return m_nExitCode;
    }

    BOOL m_bInitResult = FALSE;
    int m_nExitCode = 0;
    std::string m_calls;
    std::string m_cmdLine;
};
} // namespace

TEST(AfxWinMain, RunsInitInstanceThenExitInstanceWhoseResultIsTheExitCode) {
    EXPECT_EQ(AfxWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL), -1)
        << "no application object";
    for (BOOL bInitResult : {FALSE, TRUE}) {
        RecordingApp app;
        RecordingApp second; // only the first object of a process is the application
        EXPECT_EQ(AfxGetApp(), &app);
        app.m_bInitResult = bInitResult;
        app.m_nExitCode = bInitResult ? -7 : 42;
        char szCmd[] = "\"C:\\My Pages\\a.htm\" b.htm";
        EXPECT_EQ(AfxWinMain(GetModuleHandleA(nullptr), nullptr, szCmd, SW_SHOWNORMAL),
                  app.m_nExitCode);
        EXPECT_EQ(app.m_calls, "init;exit;");
        EXPECT_EQ(app.m_cmdLine, szCmd);
    }
    // The framework's own ExitInstance gives 0.
    CWinApp app;
    EXPECT_EQ(AfxWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL), 0);
    EXPECT_STREQ(app.m_lpCmdLine, "");
}

// The base ends the dialog on a click of OK and on Close; another
// notification from the OK button ends nothing. A missing template gives -1.
TEST(DialogBase, EndsOnOkAndCloseOnly) {
    const struct {
        UINT uMsg;
        WPARAM wParam;
        INT_PTR nExpected;
    } cases[] = {{WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), IDOK}, {WM_CLOSE, 0, IDCANCEL}};
    for (const auto& c : cases) {
        CDialog dlg(IDD_ABOUTBOX);
        bool bStillUp = false;
        INT_PTR nResult = RunModal(dlg, "О программе", [&](HWND hWnd) {
            SendMessageA(hWnd, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);
            bStillUp = IsWindowVisible(hWnd) != FALSE;
            PostMessageA(hWnd, c.uMsg, c.wParam, 0);
        });
        EXPECT_EQ(nResult, c.nExpected);
        EXPECT_TRUE(bStillUp);
        EXPECT_EQ(dlg.m_hWnd, nullptr); // the window is gone
    }
    CDialog missing(4242);
    EXPECT_EQ(missing.DoModal(), -1);
}
