// A thin modal dialog base. One static dialog procedure keeps `this` at
// WM_INITDIALOG and routes messages to member handlers. A derived dialog adds
// its message map by overriding OnMessage.
#pragma once

#include <windows.h>

// The module that holds the program's resources (dialog templates, icons,
// strings): the program file itself.
HINSTANCE AfxGetResourceHandle();

class CDialog {
  public:
    explicit CDialog(UINT nIDTemplate, HWND hParent = nullptr);
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog from the template in the program's resources, owned by
    // the parent window given to the constructor, as a Unicode window (its
    // texts and its controls' are UTF-16 whatever the system's code page),
    // and returns the value given to EndDialog, or -1 when the dialog cannot
    // be created. m_hWnd is the dialog's window from WM_INITDIALOG until
    // WM_NCDESTROY.
    INT_PTR DoModal();
    void EndDialog(INT_PTR nResult);

    HWND GetSafeHwnd() const { return m_hWnd; }
    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    UINT IsDlgButtonChecked(int nID) const { return ::IsDlgButtonChecked(m_hWnd, nID); }
    void CheckDlgButton(int nID, UINT nCheck) { ::CheckDlgButton(m_hWnd, nID, nCheck); }
    void SetWindowText(LPCWSTR pszText) { ::SetWindowTextW(m_hWnd, pszText); }

    HWND m_hWnd = nullptr;

  protected:
    virtual BOOL OnInitDialog(); // runs DoDataExchange; TRUE
    virtual void DoDataExchange() {}
    // Every WM_COMMAND. The base handles IDOK and IDCANCEL (OnOK, OnCancel);
    // TRUE when the command was handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // The derived dialog's message map: return true when handled, with the
    // dialog procedure's result in *pResult. Unhandled messages get the
    // dialog manager's default handling.
    // *pResult is the message's own result: returned as it is for the
    // messages whose dialog-procedure result is the answer (WM_QUERYDRAGICON,
    // WM_CTLCOLOR..., ...), otherwise put in DWLP_MSGRESULT.
    virtual bool OnMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, INT_PTR* pResult);

    UINT m_nIDTemplate;
    HWND m_hParent;

  private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
};
