// A list-box wrapper bound to a dialog control; it owns nothing. The list is
// a Unicode control: its lines are UTF-16.
#pragma once

#include <windows.h>

class CListBox {
public:
    HWND m_hWnd = nullptr;

    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    int GetCount() const { return (int)SendMessageW(m_hWnd, LB_GETCOUNT, 0, 0); }
    int AddString(LPCWSTR psz) { return (int)SendMessageW(m_hWnd, LB_ADDSTRING, 0, (LPARAM)psz); }
    void ResetContent() { SendMessageW(m_hWnd, LB_RESETCONTENT, 0, 0); }
    int GetTextLen(int i) const { return (int)SendMessageW(m_hWnd, LB_GETTEXTLEN, (WPARAM)i, 0); }
    int GetText(int i, LPWSTR psz) const {
        return (int)SendMessageW(m_hWnd, LB_GETTEXT, (WPARAM)i, (LPARAM)psz);
    }
};
