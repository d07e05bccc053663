// The application object: WinMain runs InitInstance, then ExitInstance, whose
// result is the process exit code. There is no message loop of its own.
#pragma once

#include <windows.h>

class CDialog;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();  // TRUE
    virtual int ExitInstance();   // 0: the framework's exit code

    HINSTANCE m_hInstance = nullptr;
    LPSTR m_lpCmdLine = nullptr;  // command line after the program's name and blanks
    int m_nCmdShow = SW_SHOWNORMAL;
    CDialog* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();

// Runs the one application object; called by WinMain.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
