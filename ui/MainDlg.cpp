// The main dialog's window: its start-up (locale, system menu, icon, saved
// position and check boxes), the About entry, the icon drawn while minimised
// and the settings saved when the window goes away. The intake is in
// Intake.cpp, the results display in Results.cpp.
#include "ui/MainDlg.h"

#include <clocale>

#include "app/Globals.h"
#include "app/Settings.h"
#include "ui/AboutDlg.h"
#include "ui/resource.h"
#include "worker/ResultPost.h"

// The system reserves the low four bits of a system-menu command.
static_assert((IDM_ABOUTBOX & 0xFFF0) == IDM_ABOUTBOX, "IDM_ABOUTBOX must be a system command");
static_assert(IDM_ABOUTBOX < 0xF000, "IDM_ABOUTBOX must be below the system's own commands");

namespace {
// A paint context for the time of one WM_PAINT.
class CPaintDC {
  public:
    explicit CPaintDC(HWND hWnd) : m_hWnd(hWnd) { m_hDC = BeginPaint(hWnd, &m_ps); }
    ~CPaintDC() { EndPaint(m_hWnd, &m_ps); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;
    HDC GetSafeHdc() const { return m_hDC; }

  private:
    HWND m_hWnd;
    PAINTSTRUCT m_ps{};
    HDC m_hDC;
};
} // namespace

CMainDlg::CMainDlg(HWND hParent)
    : CDialog(IDD_MAIN_DIALOG, hParent),
      m_hIcon(LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

void CMainDlg::DoDataExchange() {
    m_wndList.Attach(GetDlgItem(IDC_FILE_LIST));
}

BOOL CMainDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    // The runtime's locale as the program has always set it; the window's
    // own texts are UTF-16 and do not depend on it.
    setlocale(LC_ALL, "Russian_Russia.1251");
    g_hMainWnd = m_hWnd;

    if (HMENU hSysMenu = GetSystemMenu(m_hWnd, FALSE)) {
        wchar_t szAbout[256];
        if (LoadStringW(AfxGetResourceHandle(), IDS_ABOUTBOX, szAbout, 256) > 0) {
            AppendMenuW(hSysMenu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(hSysMenu, MF_STRING, IDM_ABOUTBOX, szAbout);
        }
    }

    SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));

    const WindowKeys keys = ReadWindowKeys(g_szIniPath);
    CheckDlgButton(IDC_ARCHIVE, keys.bArc ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_FIX_HTML, keys.bMSIE ? BST_CHECKED : BST_UNCHECKED);
    SetWindowPos(m_hWnd, nullptr, keys.nPosX, keys.nPosY, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

    // Last, so that command-line jobs carry the restored check-box states.
    AddCmdLine();
    return FALSE;
}

bool CMainDlg::OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, INT_PTR* pResult) {
    switch (uMsg) {
    case WM_SYSCOMMAND:
        return OnSysCommand(static_cast<UINT>(wParam), lParam);
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        *pResult = reinterpret_cast<INT_PTR>(OnQueryDragIcon());
        return true;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return true;
    case WM_DESTROY:
        OnDestroy();
        return false; // the dialog manager's own handling follows
    default:
        return false;
    }
}

bool CMainDlg::OnSysCommand(UINT nID, LPARAM /*lParam*/) {
    if ((nID & 0xFFF0) != IDM_ABOUTBOX)
        return false;
    CAboutDlg dlgAbout(m_hWnd);
    dlgAbout.DoModal();
    return true;
}

bool CMainDlg::OnPaint() {
    if (!IsIconic(m_hWnd))
        return false;
    CPaintDC dc(m_hWnd);
    SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);

    RECT rc;
    GetClientRect(m_hWnd, &rc);
    const int x = (rc.right - rc.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rc.bottom - rc.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc.GetSafeHdc(), x, y, m_hIcon);
    return true;
}

void CMainDlg::OnDestroy() {
    RECT rcWindow;
    GetWindowRect(m_hWnd, &rcWindow);
    // Windows parks a minimised window at (-32000, -32000), which is saved
    // as (0, 0); Wine parks it at the bottom of the screen instead. Either
    // way the window is to open at the origin next time.
    if (IsIconic(m_hWnd))
        OffsetRect(&rcWindow, -rcWindow.left, -rcWindow.top);
    WriteWindowKeys(g_szIniPath, rcWindow, IsDlgButtonChecked(IDC_ARCHIVE) == BST_CHECKED,
                    IsDlgButtonChecked(IDC_FIX_HTML) == BST_CHECKED);
    // Results still queued for the window, and jobs never handed to the
    // worker, are freed rather than left behind.
    StopResultDelivery(m_hWnd);
    FreeWaitingJobs();
}
