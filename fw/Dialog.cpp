// The modal dialog base: one dialog procedure for every dialog, which finds
// the dialog object through DWLP_USER and routes messages to it.
#include "fw/Dialog.h"

HINSTANCE AfxGetResourceHandle() {
    return GetModuleHandleW(nullptr);
}

CDialog::CDialog(UINT nIDTemplate, HWND hParent) : m_nIDTemplate(nIDTemplate), m_hParent(hParent) {}

INT_PTR CDialog::DoModal() {
    return DialogBoxParamW(AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), m_hParent,
                           DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialog::EndDialog(INT_PTR nResult) {
    ::EndDialog(m_hWnd, nResult);
}

BOOL CDialog::OnInitDialog() {
    DoDataExchange();
    return TRUE;
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM /*lParam*/) {
    // Enter and Esc arrive as IDOK and IDCANCEL, and so does the window's
    // Close command (the dialog manager turns WM_CLOSE into IDCANCEL).
    if (HIWORD(wParam) != BN_CLICKED)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDOK:
        OnOK();
        return TRUE;
    case IDCANCEL:
        OnCancel();
        return TRUE;
    default:
        return FALSE;
    }
}

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, INT_PTR*) {
    return false;
}

namespace {
// Messages whose answer is the dialog procedure's own return value rather
// than DWLP_MSGRESULT.
bool ReturnsDirectly(UINT uMsg) {
    switch (uMsg) {
    case WM_CHARTOITEM:
    case WM_COMPAREITEM:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_VKEYTOITEM:
        return true;
    default:
        return false;
    }
}
} // namespace

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_INITDIALOG) {
        CDialog* pDlg = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        pDlg->m_hWnd = hWnd;
        return pDlg->OnInitDialog();
    }
    // Messages sent before WM_INITDIALOG (WM_SETFONT and the like) find no
    // object yet and get the dialog manager's default.
    CDialog* pDlg = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hWnd, DWLP_USER));
    if (!pDlg)
        return FALSE;

    INT_PTR nResult = 0;
    bool bHandled;
    if (uMsg == WM_COMMAND)
        bHandled = pDlg->OnCommand(wParam, lParam) != FALSE;
    else
        bHandled = pDlg->OnMessage(uMsg, wParam, lParam, &nResult);

    if (uMsg == WM_NCDESTROY) {
        SetWindowLongPtrW(hWnd, DWLP_USER, 0);
        pDlg->m_hWnd = nullptr;
    }
    if (!bHandled)
        return FALSE;
    if (ReturnsDirectly(uMsg))
        return nResult;
    SetWindowLongPtrW(hWnd, DWLP_MSGRESULT, nResult);
    return TRUE;
}
