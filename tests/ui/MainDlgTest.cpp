// The main dialog under Wine, run modally on the test's thread while a second
// thread drives it like a user would: the window keys restored and saved, the
// ways of closing it, the About entry of the system menu, the icon and the
// locale; and the dialog base's endings.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "app/Globals.h"
#include "app/Settings.h"
#include "fw/Dialog.h"
#include "tests/helpers/WinScratch.h"
#include "ui/MainDlg.h"
#include "ui/resource.h"

namespace {
// The four window keys as "PosX,PosY,bArc,bMSIE"; "<absent>" for a missing key.
std::string WindowKeysText(const std::string& iniPath) {
    std::string text;
    for (const char* pszKey : {"PosX", "PosY", "bArc", "bMSIE"}) {
        char sz[64];
        GetPrivateProfileStringA("Options", pszKey, "<absent>", sz, sizeof sz, iniPath.c_str());
        text += (text.empty() ? "" : ",") + std::string(sz);
    }
    return text;
}

// A visible dialog window of the given thread whose caption is pszCaption
// (Windows-1251), or nullptr.
HWND FindDialogOfThread(DWORD dwThreadId, const char* pszCaption) {
    struct Search {
        const char* pszCaption;
        HWND hFound;
    } search{pszCaption, nullptr};
    EnumThreadWindows(
        dwThreadId,
        [](HWND hWnd, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            char szClass[32] = "", szText[64] = "";
            GetClassNameA(hWnd, szClass, sizeof szClass);
            GetWindowTextA(hWnd, szText, sizeof szText);
            if (!strcmp(szClass, "#32770") && IsWindowVisible(hWnd) &&
                !strcmp(szText, s->pszCaption)) {
                s->hFound = hWnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.hFound;
}

// Runs the dialog modally on this thread. Once its window with the given
// caption is up, drive(hWnd) runs on a second thread and is expected to end
// the dialog; if the window is still there afterwards it is closed. Returns
// DoModal's result.
INT_PTR RunModal(CDialog& dlg, const char* pszCaption, std::function<void(HWND)> drive) {
    const DWORD dwThreadId = GetCurrentThreadId();
    std::atomic<bool> bDone{false};
    std::thread driver([&] {
        HWND hWnd = nullptr;
        if (!WaitFor([&] {
                return bDone || (hWnd = FindDialogOfThread(dwThreadId, pszCaption)) != nullptr;
            }) ||
            bDone)
            return;
        drive(hWnd);
        if (!WaitFor([&] { return bDone.load(); }, 5000))
            PostMessageA(hWnd, WM_CLOSE, 0, 0);
    });
    INT_PTR nResult = dlg.DoModal();
    bDone = true;
    driver.join();
    return nResult;
}

const char kMainCaption[] = "Перетащите каталог в окно";
const char kAboutCaption[] = "О программе";

class MainDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        snprintf(g_szIniPath, sizeof g_szIniPath, "%s", m_ini.c_str());
        // No application object and no worker: the command line is empty.
        g_pMainApp = nullptr;
        g_pWrkThread = nullptr;
        g_hMainWnd = nullptr;
    }
    void TearDown() override { g_szIniPath[0] = '\0'; }

    void WriteIni(const char* pszKeys) {
        ASSERT_TRUE(WriteBytes(m_ini, std::string("[Options]\r\n") + pszKeys));
    }
    INT_PTR Run(std::function<void(HWND)> drive) {
        CMainDlg dlg;
        return RunModal(dlg, kMainCaption, std::move(drive));
    }

    ScratchDir m_scratch{"maindlg"};
    std::string m_ini = m_scratch / "halvok.ini";
};

bool Checked(HWND hDlg, int nID) {
    return SendMessageA(GetDlgItem(hDlg, nID), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// Keys as the user presses them: the dialog's message loop sees them first.
void PressKey(HWND hDlg, UINT vk) {
    HWND hList = GetDlgItem(hDlg, IDC_FILE_LIST);
    PostMessageA(hList, WM_KEYDOWN, vk, 1);
    PostMessageA(hList, WM_KEYUP, vk, 0xC0000001);
}

} // namespace

// A first start without the settings file, and keys the reading corrects:
// a negative position opens at 2, any non-zero box value checks the box and
// is written back as 1. The first start also publishes the window, its icon
// and the locale.
TEST_F(MainDlgTest, OpensAtTheSavedPositionWithTheSavedBoxes) {
    struct Case {
        const char* pszKeys; // nullptr: no settings file
        POINT pt;
        bool bArc, bFix;
        const char* pszSaved;
    } cases[] = {
        {nullptr, {2, 2}, true, true, "2,2,1,1"},
        {"PosX=-40\r\nPosY=50\r\nbArc=5\r\nbMSIE=0\r\n", {2, 50}, true, false, "2,50,1,0"},
    };
    HICON hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    ASSERT_NE(hIcon, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszSaved);
        if (c.pszKeys)
            WriteIni(c.pszKeys);
        setlocale(LC_ALL, "C");
        RECT rc{};
        bool bArc = !c.bArc, bFix = !c.bFix;
        HWND hSeen = nullptr;
        LRESULT lBig = 0, lDrag = 0;
        LONG_PTR exStyle = 0, listStyle = 0;
        INT_PTR nResult = Run([&](HWND hDlg) {
            hSeen = hDlg;
            GetWindowRect(hDlg, &rc);
            bArc = Checked(hDlg, IDC_ARCHIVE);
            bFix = Checked(hDlg, IDC_FIX_HTML);
            lBig = SendMessageA(hDlg, WM_GETICON, ICON_BIG, 0);
            lDrag = SendMessageA(hDlg, WM_QUERYDRAGICON, 0, 0);
            exStyle = GetWindowLongPtrA(hDlg, GWL_EXSTYLE);
            listStyle = GetWindowLongPtrA(GetDlgItem(hDlg, IDC_FILE_LIST), GWL_STYLE);
            PressKey(hDlg, VK_ESCAPE);
        });
        EXPECT_EQ(nResult, IDCANCEL);
        EXPECT_EQ(rc.left, c.pt.x);
        EXPECT_EQ(rc.top, c.pt.y);
        EXPECT_EQ(bArc, c.bArc);
        EXPECT_EQ(bFix, c.bFix);
        EXPECT_EQ(WindowKeysText(m_ini), c.pszSaved);

        EXPECT_EQ(g_hMainWnd, hSeen); // kept after the window is gone
        EXPECT_EQ(reinterpret_cast<HICON>(lBig), hIcon);
        EXPECT_EQ(reinterpret_cast<HICON>(lDrag), hIcon);
        EXPECT_TRUE(exStyle & WS_EX_ACCEPTFILES);
        EXPECT_FALSE(listStyle & LBS_SORT) << "result lines stay in arrival order";
        const char* pszLocale = setlocale(LC_ALL, nullptr);
        EXPECT_STREQ(pszLocale ? pszLocale : "", "Russian_Russia.1251");
        setlocale(LC_ALL, "C");
    }
}

// Moved, a box cleared, then closed; closed while minimised saves 0 and 0.
TEST_F(MainDlgTest, EveryWayOfClosingSavesPositionAndBoxes) {
    // Under Wine a late X event from the start-up move can restore the window
    // at once; minimise until it stays minimised.
    auto minimise = [](HWND h) {
        for (int i = 0; i < 20 && !IsIconic(h); ++i) {
            ShowWindow(h, SW_MINIMIZE);
            Sleep(150);
        }
    };
    struct Case {
        const char* pszName;
        std::function<void(HWND)> close;
        const char* pszSaved;
    } cases[] = {
        {"Esc", [](HWND h) { PressKey(h, VK_ESCAPE); }, "150,90,0,1"},
        {"Close from the system menu", [](HWND h) { PostMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0); },
         "150,90,0,1"},
        {"Close while minimised",
         [&](HWND h) {
             minimise(h);
             EXPECT_TRUE(IsIconic(h));
             PostMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0);
         },
         "0,0,0,1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        WriteIni("PosX=5\r\nPosY=6\r\nbArc=1\r\nbMSIE=1\r\n");
        INT_PTR nResult = Run([&](HWND hDlg) {
            SetWindowPos(hDlg, nullptr, 150, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            SendMessageA(GetDlgItem(hDlg, IDC_ARCHIVE), BM_CLICK, 0, 0);
            c.close(hDlg);
        });
        EXPECT_EQ(nResult, IDCANCEL);
        EXPECT_EQ(WindowKeysText(m_ini), c.pszSaved);
    }
}

TEST_F(MainDlgTest, SystemMenuEntryOpensTheAboutBox) {
    std::string entry;
    UINT uLastId = 0;
    bool bAboutOwned = false, bAboutGone = false;
    Run([&](HWND hDlg) {
        HMENU hMenu = GetSystemMenu(hDlg, FALSE);
        int n = GetMenuItemCount(hMenu);
        uLastId = GetMenuItemID(hMenu, n - 1);
        char sz[64] = "";
        GetMenuStringA(hMenu, n - 1, sz, sizeof sz, MF_BYPOSITION);
        entry = sz;

        PostMessageA(hDlg, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        HWND hAbout = nullptr;
        DWORD dwThread = GetWindowThreadProcessId(hDlg, nullptr);
        ASSERT_TRUE(
            WaitFor([&] { return (hAbout = FindDialogOfThread(dwThread, kAboutCaption)); }));
        bAboutOwned = GetWindow(hAbout, GW_OWNER) == hDlg;
        SendMessageA(GetDlgItem(hAbout, IDOK), BM_CLICK, 0, 0);
        bAboutGone = WaitFor([&] { return !IsWindow(hAbout); });
        PostMessageA(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(entry, "&О программе...");
    EXPECT_EQ(uLastId, (UINT)IDM_ABOUTBOX);
    EXPECT_TRUE(bAboutOwned);
    EXPECT_TRUE(bAboutGone);
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
        INT_PTR nResult = RunModal(dlg, kAboutCaption, [&](HWND hWnd) {
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
