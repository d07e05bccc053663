// The main dialog under Wine: the window keys restored and saved, the ways
// of closing it, the About entry of the system menu, the icon, the locale;
// and the resources exactly as the program ships them.
#include <windows.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include "app/Globals.h"
#include "app/Settings.h"
#include "tests/ui/UiRig.h"
#include "ui/MainDlg.h"
#include "ui/resource.h"

using namespace ui_test;

namespace {
const char kMainCaption[] = "Перетащите каталог в окно";
const char kAboutCaption[] = "О программе";

class MainDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_ini = m_scratch / "halvok.ini";
        ASSERT_LT(m_ini.size(), sizeof g_szIniPath);
        strcpy(g_szIniPath, m_ini.c_str());
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

    Scratch m_scratch{"maindlg"};
    std::string m_ini;
};

bool Checked(HWND hDlg, int nID) {
    return SendMessageA(GetDlgItem(hDlg, nID), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

POINT TopLeft(HWND hWnd) {
    RECT rc{};
    GetWindowRect(hWnd, &rc);
    return {rc.left, rc.top};
}

// Keys as the user presses them: the dialog's message loop sees them first.
void PressKey(HWND hDlg, UINT vk) {
    HWND hList = GetDlgItem(hDlg, IDC_FILE_LIST);
    PostMessageA(hList, WM_KEYDOWN, vk, 1);
    PostMessageA(hList, WM_KEYUP, vk, 0xC0000001);
}

void MoveTo(HWND hWnd, int x, int y) {
    SetWindowPos(hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
} // namespace

TEST_F(MainDlgTest, OpensAtTheSavedPositionWithTheSavedBoxes) {
    struct Case {
        const char* pszKeys; // nullptr: no settings file at all
        LONG x, y;
        bool bArc, bFix;
        const char* pszWritten; // PosX,PosY,bArc,bMSIE after closing
    } cases[] = {
        {nullptr, 2, 2, true, true, "2,2,1,1"},
        {"PosX=-40\r\nPosY=30\r\n", 2, 30, true, true, "2,30,1,1"},
        {"bArc=5\r\nbMSIE=0\r\n", 2, 2, true, false, "2,2,1,0"},
        {"PosX=40\r\nPosY=50\r\nbArc=0\r\nbMSIE=-3\r\n", 40, 50, false, true, "40,50,0,1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszKeys ? c.pszKeys : "no settings file");
        DeleteFileA(m_ini.c_str());
        if (c.pszKeys)
            WriteIni(c.pszKeys);
        POINT pt{-1, -1};
        bool bArc = !c.bArc, bFix = !c.bFix;
        INT_PTR nResult = Run([&](HWND hDlg) {
            pt = TopLeft(hDlg);
            bArc = Checked(hDlg, IDC_ARCHIVE);
            bFix = Checked(hDlg, IDC_FIX_HTML);
            PressKey(hDlg, VK_ESCAPE);
        });
        EXPECT_EQ(nResult, IDCANCEL);
        EXPECT_EQ(pt.x, c.x);
        EXPECT_EQ(pt.y, c.y);
        EXPECT_EQ(bArc, c.bArc);
        EXPECT_EQ(bFix, c.bFix);
        EXPECT_EQ(WindowKeysText(m_ini), c.pszWritten);
    }
}

TEST_F(MainDlgTest, EveryWayOfClosingSavesPositionAndBoxes) {
    struct Case {
        const char* pszName;
        std::function<void(HWND)> close;
        INT_PTR nResult;
    } cases[] = {
        {"Esc", [](HWND h) { PressKey(h, VK_ESCAPE); }, IDCANCEL},
        {"Close from the system menu", [](HWND h) { PostMessageA(h, WM_SYSCOMMAND, SC_CLOSE, 0); },
         IDCANCEL},
        {"Enter", [](HWND h) { PressKey(h, VK_RETURN); }, IDOK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszName);
        WriteIni("PosX=5\r\nPosY=6\r\nbArc=1\r\nbMSIE=1\r\n");
        INT_PTR nResult = Run([&](HWND hDlg) {
            MoveTo(hDlg, 150, 90);
            SendMessageA(GetDlgItem(hDlg, IDC_ARCHIVE), BM_CLICK, 0, 0);
            c.close(hDlg);
        });
        EXPECT_EQ(nResult, c.nResult);
        EXPECT_EQ(WindowKeysText(m_ini), "150,90,0,1");
    }
}

TEST_F(MainDlgTest, ClosingWhileMinimisedSavesTheOrigin) {
    WriteIni("PosX=7\r\nPosY=8\r\nbMSIE=0\r\n");
    bool bIconic = false;
    Run([&](HWND hDlg) {
        // Under Wine a late X event from the start-up move can restore the
        // window at once; minimise until it stays minimised.
        for (int i = 0; i < 20 && !bIconic; ++i) {
            ShowWindow(hDlg, SW_MINIMIZE);
            Sleep(150);
            bIconic = IsIconic(hDlg);
        }
        PostMessageA(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_TRUE(bIconic);
    EXPECT_EQ(WindowKeysText(m_ini), "0,0,1,0");
}

TEST_F(MainDlgTest, SystemMenuEntryOpensTheAboutBox) {
    std::string entry;
    UINT uLastId = 0, uSeparatorState = 0;
    bool bMainDisabled = false, bAboutOwned = false, bAboutHasIcon = false;
    bool bAboutGone = false, bMainBack = false;
    Run([&](HWND hDlg) {
        HMENU hMenu = GetSystemMenu(hDlg, FALSE);
        int n = GetMenuItemCount(hMenu);
        ASSERT_GE(n, 2);
        uLastId = GetMenuItemID(hMenu, n - 1);
        uSeparatorState = GetMenuState(hMenu, n - 2, MF_BYPOSITION);
        char sz[64] = "";
        GetMenuStringA(hMenu, n - 1, sz, sizeof sz, MF_BYPOSITION);
        entry = sz;

        PostMessageA(hDlg, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
        HWND hAbout = nullptr;
        DWORD dwThread = GetWindowThreadProcessId(hDlg, nullptr);
        ASSERT_TRUE(
            WaitFor([&] { return (hAbout = FindDialogOfThread(dwThread, kAboutCaption)); }));
        bMainDisabled = !IsWindowEnabled(hDlg);
        bAboutOwned = GetWindow(hAbout, GW_OWNER) == hDlg;
        HWND hIcon = GetWindow(hAbout, GW_CHILD);
        bAboutHasIcon = SendMessageA(hIcon, STM_GETICON, 0, 0) != 0;
        SendMessageA(GetDlgItem(hAbout, IDOK), BM_CLICK, 0, 0);
        bAboutGone = WaitFor([&] { return !IsWindow(hAbout); });
        bMainBack = IsWindowVisible(hDlg) && IsWindowEnabled(hDlg);
        PostMessageA(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(entry, "&О программе...");
    EXPECT_EQ(uLastId, (UINT)IDM_ABOUTBOX);
    EXPECT_TRUE(uSeparatorState & MF_SEPARATOR);
    EXPECT_TRUE(bMainDisabled);
    EXPECT_TRUE(bAboutOwned);
    EXPECT_TRUE(bAboutHasIcon);
    EXPECT_TRUE(bAboutGone);
    EXPECT_TRUE(bMainBack);
}

TEST_F(MainDlgTest, PublishesItsWindowIconAndLocale) {
    setlocale(LC_ALL, "C");
    HICON hIcon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    ASSERT_NE(hIcon, nullptr);
    HWND hSeen = nullptr;
    LRESULT lBig = 0, lDrag = 0;
    LONG_PTR exStyle = 0;
    Run([&](HWND hDlg) {
        hSeen = hDlg;
        lBig = SendMessageA(hDlg, WM_GETICON, ICON_BIG, 0);
        lDrag = SendMessageA(hDlg, WM_QUERYDRAGICON, 0, 0);
        exStyle = GetWindowLongPtrA(hDlg, GWL_EXSTYLE);
        PostMessageA(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(g_hMainWnd, hSeen); // kept after the window is gone
    EXPECT_EQ(reinterpret_cast<HICON>(lBig), hIcon);
    EXPECT_EQ(reinterpret_cast<HICON>(lDrag), hIcon);
    EXPECT_TRUE(exStyle & WS_EX_ACCEPTFILES);
    const char* pszLocale = setlocale(LC_ALL, nullptr);
    ASSERT_NE(pszLocale, nullptr);
    EXPECT_STREQ(pszLocale, "Russian_Russia.1251");
    setlocale(LC_ALL, "C");
}

// --- The resources -------------------------------------------------------

namespace {
struct ItemTemplate {
    DWORD dwId;
    WORD wClassAtom; // 0x80 button, 0x82 static, 0x83 list box
    short x, y, cx, cy;
    DWORD dwStyle, dwExStyle;
    std::wstring text; // empty for an ordinal title
    WORD wTitleOrdinal;
};
struct DialogTemplate {
    DWORD dwStyle, dwExStyle;
    short x, y, cx, cy;
    std::wstring caption;
    WORD wPointSize;
    std::wstring face;
    std::vector<ItemTemplate> items;
};

// Reads a name-or-ordinal field; returns the position after it.
const WORD* ReadSzOrOrd(const WORD* p, std::wstring* pText, WORD* pOrdinal) {
    *pOrdinal = 0;
    if (*p == 0xFFFF) {
        *pOrdinal = p[1];
        return p + 2;
    }
    while (*p)
        pText->push_back(static_cast<wchar_t>(*p++));
    return p + 1;
}

const WORD* AlignDword(const WORD* p, const BYTE* pBase) {
    size_t off = reinterpret_cast<const BYTE*>(p) - pBase;
    return reinterpret_cast<const WORD*>(pBase + ((off + 3) & ~size_t(3)));
}

// Parses the extended dialog template of the given resource.
bool LoadDialogTemplate(UINT nID, DialogTemplate* pDlg) {
    HMODULE hMod = GetModuleHandleA(nullptr);
    HRSRC hRes = FindResourceA(hMod, MAKEINTRESOURCEA(nID), reinterpret_cast<LPCSTR>(RT_DIALOG));
    if (!hRes)
        return false;
    const BYTE* pBase = static_cast<const BYTE*>(LockResource(LoadResource(hMod, hRes)));
    const WORD* p = reinterpret_cast<const WORD*>(pBase);
    if (p[0] != 1 || p[1] != 0xFFFF)
        return false; // not an extended template
    DWORD dw[3];
    memcpy(dw, p + 2, sizeof dw); // help id, extended style, style
    pDlg->dwExStyle = dw[1];
    pDlg->dwStyle = dw[2];
    WORD nItems = p[8];
    pDlg->x = p[9], pDlg->y = p[10], pDlg->cx = p[11], pDlg->cy = p[12];
    p += 13;
    std::wstring ignored;
    WORD wOrd;
    p = ReadSzOrOrd(p, &ignored, &wOrd); // menu
    p = ReadSzOrOrd(p, &ignored, &wOrd); // class
    p = ReadSzOrOrd(p, &pDlg->caption, &wOrd);
    if (pDlg->dwStyle & DS_SETFONT) {
        pDlg->wPointSize = p[0];
        p += 3; // point size, weight, italic and charset
        p = ReadSzOrOrd(p, &pDlg->face, &wOrd);
    }
    for (WORD i = 0; i < nItems; ++i) {
        p = AlignDword(p, pBase);
        ItemTemplate item{};
        DWORD head[3];
        memcpy(head, p, sizeof head); // help id, extended style, style
        item.dwExStyle = head[1];
        item.dwStyle = head[2];
        item.x = p[6], item.y = p[7], item.cx = p[8], item.cy = p[9];
        memcpy(&item.dwId, p + 10, sizeof(DWORD));
        p += 12;
        std::wstring className;
        p = ReadSzOrOrd(p, &className, &item.wClassAtom);
        p = ReadSzOrOrd(p, &item.text, &item.wTitleOrdinal);
        WORD nExtra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + nExtra);
        pDlg->items.push_back(item);
    }
    return true;
}

void ExpectItem(const ItemTemplate& got, const ItemTemplate& want) {
    SCOPED_TRACE("control " + std::to_string((int)want.dwId));
    EXPECT_EQ(got.dwId, want.dwId);
    EXPECT_EQ(got.wClassAtom, want.wClassAtom);
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.cx, want.cx);
    EXPECT_EQ(got.cy, want.cy);
    EXPECT_EQ(got.dwStyle, want.dwStyle) << std::hex << got.dwStyle;
    EXPECT_EQ(got.dwExStyle, want.dwExStyle) << std::hex << got.dwExStyle;
    if (!want.text.empty()) {
        EXPECT_TRUE(got.text == want.text);
    }
    EXPECT_EQ(got.wTitleOrdinal, want.wTitleOrdinal);
}

const DWORD kChild = WS_CHILD | WS_VISIBLE;
} // namespace

TEST(Resources, MainDialogTemplate) {
    DialogTemplate dlg{};
    ASSERT_TRUE(LoadDialogTemplate(IDD_MAIN_DIALOG, &dlg));
    EXPECT_EQ(dlg.dwStyle, DWORD(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION |
                                 WS_SYSMENU | WS_MINIMIZEBOX))
        << std::hex << dlg.dwStyle;
    EXPECT_EQ(dlg.dwExStyle, DWORD(WS_EX_APPWINDOW | WS_EX_ACCEPTFILES));
    EXPECT_EQ(dlg.x, 1);
    EXPECT_EQ(dlg.y, 1);
    EXPECT_EQ(dlg.cx, 207);
    EXPECT_EQ(dlg.cy, 125);
    EXPECT_TRUE(dlg.caption == L"Перетащите каталог в окно");
    EXPECT_EQ(dlg.wPointSize, 8);
    EXPECT_TRUE(dlg.face == L"MS Sans Serif");

    const ItemTemplate want[] = {
        {IDC_FILE_LIST, 0x83, 0, 0, 207, 86,
         kChild | WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
         WS_EX_STATICEDGE | WS_EX_CLIENTEDGE, L"", 0},
        {IDC_FIX_HTML, 0x80, 1, 89, 156, 10, kChild | WS_TABSTOP | BS_AUTOCHECKBOX, 0,
         L"Исправлять html (сохраненные Firefox-ом)", 0},
        {IDC_ARCHIVE, 0x80, 1, 101, 63, 10, kChild | WS_TABSTOP | BS_AUTOCHECKBOX, 0,
         L"Архивировать", 0},
        {0xFFFFFFFF, 0x82, 0, 114, 207, 11, kChild | WS_GROUP | SS_CENTER, WS_EX_STATICEDGE, L"",
         0},
    };
    ASSERT_EQ(dlg.items.size(), std::size(want));
    for (size_t i = 0; i < std::size(want); ++i)
        ExpectItem(dlg.items[i], want[i]);
    EXPECT_TRUE(dlg.items[0].text.empty());
    EXPECT_FALSE(dlg.items[3].text.empty()); // the banner's notice
}

TEST(Resources, AboutBoxTemplate) {
    DialogTemplate dlg{};
    ASSERT_TRUE(LoadDialogTemplate(IDD_ABOUTBOX, &dlg));
    EXPECT_EQ(dlg.dwStyle, DWORD(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU))
        << std::hex << dlg.dwStyle;
    EXPECT_EQ(dlg.dwExStyle, 0u);
    EXPECT_EQ(dlg.cx, 209);
    EXPECT_EQ(dlg.cy, 28);
    EXPECT_TRUE(dlg.caption == L"О программе");
    EXPECT_EQ(dlg.wPointSize, 8);
    EXPECT_TRUE(dlg.face == L"MS Sans Serif");

    ASSERT_EQ(dlg.items.size(), 3u);
    ExpectItem(dlg.items[0],
               {0xFFFFFFFF, 0x82, 2, 2, 20, 20, kChild | SS_ICON, 0, L"", IDR_MAINFRAME});
    EXPECT_EQ(dlg.items[1].wClassAtom, 0x82); // the notice
    EXPECT_FALSE(dlg.items[1].text.empty());
    ExpectItem(dlg.items[2],
               {IDOK, 0x80, 153, 7, 50, 14, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, L"OK", 0});
}

TEST(Resources, AboutStringAndIconImages) {
    char sz[64] = "";
    EXPECT_GT(LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, sz, sizeof sz), 0);
    EXPECT_STREQ(sz, "&О программе...");

    HMODULE hMod = GetModuleHandleA(nullptr);
    HRSRC hRes = FindResourceA(hMod, MAKEINTRESOURCEA(IDR_MAINFRAME),
                               reinterpret_cast<LPCSTR>(RT_GROUP_ICON));
    ASSERT_NE(hRes, nullptr);
    const BYTE* p = static_cast<const BYTE*>(LockResource(LoadResource(hMod, hRes)));
    WORD header[3];
    memcpy(header, p, sizeof header);
    EXPECT_EQ(header[1], 1); // icons
    ASSERT_EQ(header[2], 2);
    std::vector<std::pair<int, int>> images; // size, bits per pixel
    for (int i = 0; i < header[2]; ++i) {
        const BYTE* e = p + 6 + 14 * i;
        WORD wBits;
        memcpy(&wBits, e + 6, sizeof wBits);
        EXPECT_EQ(e[0], e[1]); // square
        images.emplace_back(e[0], wBits);
    }
    EXPECT_EQ(images, (std::vector<std::pair<int, int>>{{32, 8}, {16, 8}}));
}
