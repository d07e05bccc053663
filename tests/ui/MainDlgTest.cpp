// The main dialog under Wine, run modally on the test's thread while a second
// thread drives it as a user would: the window keys read at the start and
// written on every way of closing, and the About entry of the system menu.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "app/Settings.h"
#include "tests/helpers/WinScratch.h"
#include "ui/MainDlg.h"
#include "ui/resource.h"

namespace {

const char kMainCaption[] = "Перетащите каталог в окно";
const char kAboutCaption[] = "О программе";

// A visible dialog of the given thread with this caption, or nullptr.
HWND FindDialog(DWORD dwThreadId, const char* pszCaption) {
    for (HWND h = nullptr; (h = FindWindowExA(nullptr, h, "#32770", pszCaption)) != nullptr;)
        if (GetWindowThreadProcessId(h, nullptr) == dwThreadId && IsWindowVisible(h))
            return h;
    return nullptr;
}

class MainDlgTest : public ::testing::Test {
  protected:
    // Runs the main dialog modally on this thread, with no application object
    // and no worker. Once it is up, drive(hDlg) runs on a second thread and
    // should end it; otherwise it is closed.
    INT_PTR Run(const std::function<void(HWND)>& drive) {
        snprintf(g_szIniPath, sizeof g_szIniPath, "%s", m_ini.c_str());
        const DWORD dwThreadId = GetCurrentThreadId();
        std::atomic<bool> bDone{false};
        std::thread driver([&] {
            HWND hDlg = nullptr;
            if (WaitFor([&] { return bDone || (hDlg = FindDialog(dwThreadId, kMainCaption)); }) &&
                !bDone) {
                drive(hDlg);
                if (!WaitFor([&] { return bDone.load(); }, 5000))
                    PostMessageA(hDlg, WM_CLOSE, 0, 0);
            }
        });
        CMainDlg dlg;
        INT_PTR nResult = dlg.DoModal();
        bDone = true;
        driver.join();
        return nResult;
    }
    // The window keys as "PosX,PosY,bArc,bMSIE".
    std::string Saved() const {
        std::string text;
        for (const char* pszKey : {"PosX", "PosY", "bArc", "bMSIE"}) {
            char sz[32] = "";
            GetPrivateProfileStringA("Options", pszKey, "-", sz, sizeof sz, m_ini.c_str());
            text += (text.empty() ? "" : ",") + std::string(sz);
        }
        return text;
    }

    ScratchDir m_scratch{"maindlg"};
    std::string m_ini = m_scratch / "halvok.ini";
};

// Keys as the user presses them: the dialog's message loop sees them first.
void PressEsc(HWND hDlg) {
    HWND hList = GetDlgItem(hDlg, IDC_FILE_LIST);
    PostMessageA(hList, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageA(hList, WM_KEYUP, VK_ESCAPE, 0xC0000001);
}

void SysClose(HWND hDlg) {
    PostMessageA(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void MinimisedClose(HWND hDlg) {
    // Under Wine a late X event from the start-up move can restore the
    // window at once: minimise until it stays minimised.
    for (int i = 0; i < 20 && !IsIconic(hDlg); ++i) {
        ShowWindow(hDlg, SW_MINIMIZE);
        Sleep(150);
    }
    SysClose(hDlg);
}

} // namespace

// The first start has no settings file; a negative position opens at 2 and a
// box value of 5 checks the box and is written back as 1. The window is
// moved to (150, 90) before it is closed; a minimised close writes 0 and 0.
TEST_F(MainDlgTest, KeysAreReadAtTheStartAndWrittenAtTheClose) {
    const char kKeys[] = "PosX=5\r\nPosY=6\r\nbArc=1\r\nbMSIE=1\r\n";
    const struct {
        const char* pszKeys; // nullptr: no settings file
        bool bClickArchive;
        void (*close)(HWND);
        const char* pszOpened; // position and boxes as opened
        const char* pszSaved;
    } rows[] = {
        {nullptr, false, PressEsc, "2,2,1,1", "150,90,1,1"},
        {"PosX=-40\r\nPosY=50\r\nbArc=5\r\nbMSIE=0\r\n", false, PressEsc, "2,50,1,0", "150,90,1,0"},
        {kKeys, true, SysClose, "5,6,1,1", "150,90,0,1"},
        {kKeys, false, MinimisedClose, "5,6,1,1", "0,0,1,1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.pszSaved);
        ASSERT_TRUE(!row.pszKeys || WriteBytes(m_ini, std::string("[Options]\r\n") + row.pszKeys));
        char szOpened[64] = "";
        INT_PTR nResult = Run([&](HWND hDlg) {
            RECT rc{};
            GetWindowRect(hDlg, &rc);
            auto checked = [&](int nID) { return IsDlgButtonChecked(hDlg, nID) == BST_CHECKED; };
            snprintf(szOpened, sizeof szOpened, "%ld,%ld,%d,%d", rc.left, rc.top,
                     checked(IDC_ARCHIVE), checked(IDC_FIX_HTML));
            SetWindowPos(hDlg, nullptr, 150, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            if (row.bClickArchive)
                SendMessageA(GetDlgItem(hDlg, IDC_ARCHIVE), BM_CLICK, 0, 0);
            row.close(hDlg);
        });
        EXPECT_EQ(nResult, IDCANCEL);
        EXPECT_STREQ(szOpened, row.pszOpened);
        EXPECT_EQ(Saved(), row.pszSaved);
    }
}

TEST_F(MainDlgTest, SystemMenuEntryOpensTheAboutBox) {
    char szEntry[64] = "";
    bool bAboutOpened = false;
    Run([&](HWND hDlg) {
        HMENU hMenu = GetSystemMenu(hDlg, FALSE);
        GetMenuStringA(hMenu, IDM_ABOUTBOX, szEntry, sizeof szEntry, MF_BYCOMMAND);
        PostMessageA(hDlg, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        HWND hAbout = nullptr;
        const DWORD dwThreadId = GetWindowThreadProcessId(hDlg, nullptr);
        bAboutOpened = WaitFor([&] { return (hAbout = FindDialog(dwThreadId, kAboutCaption)); });
        SendMessageA(GetDlgItem(hAbout, IDOK), BM_CLICK, 0, 0);
        WaitFor([&] { return !IsWindow(hAbout); });
        SysClose(hDlg);
    });
    EXPECT_STREQ(szEntry, "&О программе...");
    EXPECT_TRUE(bAboutOpened);
}
