// The application object and the start-up that runs it.
#include "fw/WinApp.h"

namespace {
CWinApp* s_pApp = nullptr;
wchar_t s_szEmpty[1] = L"";

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}
} // namespace

CWinApp::CWinApp() {
    if (!s_pApp)
        s_pApp = this;
}

CWinApp::~CWinApp() {
    if (s_pApp == this)
        s_pApp = nullptr;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}

CWinApp* AfxGetApp() {
    return s_pApp;
}

LPWSTR AfxCmdLineTail(LPWSTR pszCmdLine) {
    wchar_t* p = pszCmdLine;
    if (!p)
        return s_szEmpty;
    // The program's name ends at the first blank outside double quotes, the
    // way the system's own start-up code reads it: "C:\My Tools\halvok.exe"
    // is one name, and so is C:\x"y z".exe.
    bool bInQuotes = false;
    while (*p && (bInQuotes || !IsBlank(*p))) {
        if (*p == L'"')
            bInQuotes = !bInQuotes;
        ++p;
    }
    while (IsBlank(*p))
        ++p;
    return p;
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, LPWSTR lpCmdLine, int nCmdShow) {
    CWinApp* pApp = AfxGetApp();
    if (!pApp)
        return -1;
    pApp->m_hInstance = hInstance;
    pApp->m_lpCmdLine = lpCmdLine ? lpCmdLine : s_szEmpty;
    pApp->m_nCmdShow = nCmdShow;
    // Whatever InitInstance answers, there is no message loop to run here:
    // the application's work happens inside InitInstance (a modal dialog).
    pApp->InitInstance();
    return pApp->ExitInstance();
}
