// Rig for the window tests under Wine: the settings file's keys, and a modal
// dialog run on the test's thread while a second thread drives it like a
// user would.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "tests/helpers/WinScratch.h"

namespace ui_test {

// A key of section "Options" as text; "<absent>" when the key is missing.
inline std::string IniKey(const std::string& iniPath, const char* pszKey) {
    char sz[64];
    GetPrivateProfileStringA("Options", pszKey, "<absent>", sz, sizeof sz, iniPath.c_str());
    return sz;
}

// The four window keys as "PosX,PosY,bArc,bMSIE".
inline std::string WindowKeysText(const std::string& iniPath) {
    return IniKey(iniPath, "PosX") + "," + IniKey(iniPath, "PosY") + "," + IniKey(iniPath, "bArc") +
           "," + IniKey(iniPath, "bMSIE");
}

// A visible dialog window of the given thread whose caption is pszCaption
// (Windows-1251), or nullptr.
inline HWND FindDialogOfThread(DWORD dwThreadId, const char* pszCaption) {
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
template <class Dialog>
INT_PTR RunModal(Dialog& dlg, const char* pszCaption, std::function<void(HWND)> drive) {
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

} // namespace ui_test
