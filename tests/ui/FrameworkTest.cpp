// The application object's start-up (command-line tail, InitInstance then
// ExitInstance, the exit code) and the dialog base's message routing.
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
        {"halvok.exe", ""},
        {"halvok.exe a.htm", "a.htm"},
        {"halvok.exe \t  a.htm  b.htm  ", "a.htm  b.htm  "},
        {"halvok.exe\ta.htm", "a.htm"},
        {"\"C:\\My Tools\\halvok.exe\" \"C:\\My Pages\\a.htm\"", "\"C:\\My Pages\\a.htm\""},
        {"\"C:\\My Tools\\halvok.exe\"   /dde", "/dde"},
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
        m_hSeenInstance = m_hInstance;
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
    HINSTANCE m_hSeenInstance = nullptr;
};
} // namespace

TEST(AfxWinMain, RunsInitInstanceThenExitInstanceWhoseResultIsTheExitCode) {
    struct Case {
        BOOL bInitResult;
        int nExitCode;
    } cases[] = {{FALSE, 0}, {FALSE, 42}, {TRUE, -7}};
    for (const Case& c : cases) {
        RecordingApp app;
        app.m_bInitResult = c.bInitResult;
        app.m_nExitCode = c.nExitCode;
        char szCmd[] = "\"C:\\My Pages\\a.htm\" b.htm";
        HINSTANCE hInstance = GetModuleHandleA(nullptr);
        EXPECT_EQ(AfxWinMain(hInstance, nullptr, szCmd, SW_SHOWNORMAL), c.nExitCode);
        EXPECT_EQ(app.m_calls, "init;exit;");
        EXPECT_EQ(app.m_cmdLine, szCmd);
        EXPECT_EQ(app.m_hSeenInstance, hInstance);
    }
}

TEST(AfxWinMain, TheFrameworksExitCodeIsZeroAndAMissingAppFails) {
    EXPECT_EQ(AfxGetApp(), nullptr);
    EXPECT_EQ(AfxWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL), -1);

    CWinApp app;
    CWinApp second; // only the first object of a process is the application
    EXPECT_EQ(AfxGetApp(), &app);
    EXPECT_EQ(AfxWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL), 0);
    ASSERT_NE(app.m_lpCmdLine, nullptr);
    EXPECT_STREQ(app.m_lpCmdLine, "");
}

namespace {
// A dialog on the About box's template that records how it is called.
class ProbeDlg : public CDialog {
  public:
    ProbeDlg() : CDialog(IDD_ABOUTBOX) {}
    explicit ProbeDlg(UINT nIDTemplate) : CDialog(nIDTemplate) {}

    bool m_bExchanged = false;
    HWND m_hInitWnd = nullptr;
    int m_nDestroyed = 0;

  protected:
    void DoDataExchange() override { m_bExchanged = true; }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        m_hInitWnd = m_hWnd;
        return TRUE;
    }
    bool OnMessage(UINT uMsg, WPARAM, LPARAM, INT_PTR* pResult) override {
        switch (uMsg) {
        case WM_APP:
            *pResult = 1234; // a result that travels through DWLP_MSGRESULT
            return true;
        case WM_QUERYDRAGICON:
            *pResult = 0x5678; // a result that is the procedure's own
            return true;
        case WM_DESTROY:
            ++m_nDestroyed;
            return false;
        default:
            return false;
        }
    }
};
const char kAboutCaption[] = "О программе";
} // namespace

TEST(DialogBase, RoutesMessagesAndEndsOnOkCancelAndClose) {
    struct Case {
        const char* pszName;
        UINT uMsg;
        WPARAM wParam;
        INT_PTR nExpected;
    } cases[] = {
        {"Enter", WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), IDOK},
        {"Esc", WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), IDCANCEL},
        {"Close", WM_CLOSE, 0, IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        ProbeDlg dlg;
        LRESULT lApp = 0, lDrag = 0, lUnhandled = -1;
        bool bStillUpAfterNotification = false;
        INT_PTR nResult = RunModal(dlg, kAboutCaption, [&](HWND hWnd) {
            lApp = SendMessageA(hWnd, WM_APP, 0, 0);
            lDrag = SendMessageA(hWnd, WM_QUERYDRAGICON, 0, 0);
            lUnhandled = SendMessageA(hWnd, WM_APP + 1, 0, 0);
            // A notification other than a click from the OK button ends nothing.
            SendMessageA(hWnd, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);
            bStillUpAfterNotification = IsWindow(hWnd) && IsWindowVisible(hWnd);
            PostMessageA(hWnd, c.uMsg, c.wParam, 0);
        });
        EXPECT_EQ(nResult, c.nExpected);
        EXPECT_EQ(lApp, 1234);
        EXPECT_EQ(lDrag, 0x5678);
        EXPECT_EQ(lUnhandled, 0);
        EXPECT_TRUE(bStillUpAfterNotification);
        EXPECT_TRUE(dlg.m_bExchanged);
        EXPECT_NE(dlg.m_hInitWnd, nullptr);
        EXPECT_EQ(dlg.m_nDestroyed, 1);
        EXPECT_EQ(dlg.m_hWnd, nullptr); // the window is gone
    }
}

TEST(DialogBase, AMissingTemplateGivesMinusOne) {
    ProbeDlg dlg(4242);
    EXPECT_EQ(dlg.DoModal(), -1);
    EXPECT_EQ(dlg.m_hInitWnd, nullptr);
    EXPECT_EQ(dlg.m_hWnd, nullptr);
}
