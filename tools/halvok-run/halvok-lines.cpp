// halvok-lines.dll: halvok-run's window-procedure hook, which the system
// loads into halvok.exe. Each time the main window's list gains a line or
// is emptied, the hook hands the news to halvok-run at once, on halvok's own
// thread, so that no line is missed when the window closes right after its
// last one.
#include <windows.h>

#include <cstdio>

#include "tools/halvok-run/HalvokLines.h"

extern "C" __declspec(dllexport) LRESULT CALLBACK
    HalvokLinesHook(int nCode, WPARAM wParam, LPARAM lParam) {
    const auto* p = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    const bool bAdded = p->message == LB_ADDSTRING && p->lResult >= 0;
    if (nCode == HC_ACTION && (bAdded || p->message == LB_RESETCONTENT) &&
        GetDlgCtrlID(p->hwnd) == kFileListId) {
        char szClass[64];
        snprintf(szClass, sizeof szClass, "%s%lu", kSinkClass, GetCurrentProcessId());
        if (HWND hSink = FindWindowExA(HWND_MESSAGE, nullptr, szClass, nullptr)) {
            WCHAR szLine[2048] = L"";
            COPYDATASTRUCT cds{kListEmptied, 0, szLine};
            if (bAdded && SendMessageW(p->hwnd, LB_GETTEXTLEN, p->lResult, 0) < 2048) {
                LRESULT cch = SendMessageW(p->hwnd, LB_GETTEXT, p->lResult, (LPARAM)szLine);
                cds = {ULONG_PTR(p->lResult), DWORD(cch > 0 ? cch : 0) * sizeof(WCHAR), szLine};
            }
            // halvok-run answers at once from a thread that does nothing
            // else; a halvok-run that is stopped costs the window two seconds
            // at most, and halvok-run then reports the line as lost.
            DWORD_PTR dwResult;
            SendMessageTimeoutW(hSink, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds),
                                SMTO_BLOCK | SMTO_ABORTIFHUNG, 2000, &dwResult);
        }
    }
    return CallNextHookEx(nullptr, nCode, wParam, lParam);
}
