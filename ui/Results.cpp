// Results display: each finished job's line in the list, the count of pending
// jobs, the idle caption, and the close that ends a clean command-line run.
#include <windows.h>

#include <cwchar>

#include "app/Globals.h"
#include "ui/MainDlg.h"
#include "ui/ResultLine.h"
#include "worker/WrkThread.h"

// Narrow texts are compiled as Windows-1251 bytes; the window's own texts
// are UTF-16, shown the same on every system code page.
static_assert(static_cast<unsigned char>("Я"[0]) == 0xDF, "build with -fexec-charset=CP1251");

// A list box draws an item's text a few pixels in from its edges.
constexpr int kLineMargin = 3;

BOOL CMainDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    // The whole value: a notification code in the high word makes it another
    // command.
    if (wParam != (WPARAM)ID_JOB_DONE)
        return CDialog::OnCommand(wParam, lParam);

    WrkResult* pResult = (WrkResult*)lParam;
    if (!pResult)
        return TRUE; // not from the worker: nothing to count
    --g_nPending;

    pResult->szName[sizeof pResult->szName / sizeof pResult->szName[0] - 1] = L'\0';
    wchar_t szLine[1024];
    FormatResultLine(pResult->nStatus, pResult->szName, szLine, sizeof szLine / sizeof szLine[0]);
    if (pResult->nStatus != STATUS_OK)
        g_bAutoClose = 0;
    AddLine(szLine);
    g_pfnWrkRecordFree(pResult);

    // The result made room in the worker's queue for jobs waiting behind it.
    PostWaitingJobs();
    if (g_nPending == 0) {
        SetWindowText(L"Перетащите каталог в окно");
        if (g_bAutoClose)
            PostMessageW(m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    return TRUE;
}

void CMainDlg::AddLine(const wchar_t* pszLine) {
    m_wndList.AddString(pszLine);
    // The list scrolls sideways to its widest line, so that the status at the
    // end of a long name can be read: the line is measured in the list's own
    // font, with the room the list leaves before and after its text.
    HWND hList = m_wndList.m_hWnd;
    HDC hdc = GetDC(hList);
    if (!hdc)
        return;
    HGDIOBJ hOld = SelectObject(hdc, reinterpret_cast<HGDIOBJ>(SendMessageW(hList, WM_GETFONT, 0, 0)));
    SIZE size{};
    const BOOL bMeasured = GetTextExtentPoint32W(hdc, pszLine, int(wcslen(pszLine)), &size);
    SelectObject(hdc, hOld);
    ReleaseDC(hList, hdc);
    const int cxLine = size.cx + 2 * kLineMargin;
    if (bMeasured && cxLine > m_cxWidestLine) {
        m_cxWidestLine = cxLine;
        SendMessageW(hList, LB_SETHORIZONTALEXTENT, WPARAM(cxLine), 0);
    }
}

void CMainDlg::ClearLines() {
    m_wndList.ResetContent();
    m_cxWidestLine = 0;
    SendMessageW(m_wndList.m_hWnd, LB_SETHORIZONTALEXTENT, 0, 0);
}
