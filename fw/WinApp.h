// The application object: WinMain runs InitInstance, then ExitInstance, whose
// result is the process exit code. There is no message loop of its own.
#pragma once

#include <windows.h>

class CDialog;

class CWinApp {
  public:
    // The one application object of the process registers itself here and
    // unregisters when it is destroyed.
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance(); // TRUE
    virtual int ExitInstance();  // 0: the framework's exit code

    HINSTANCE m_hInstance = nullptr;
    LPWSTR m_lpCmdLine = nullptr; // command line after the program's name and blanks
    int m_nCmdShow = SW_SHOWNORMAL;
    CDialog* m_pMainWnd = nullptr;
};

// The application object, or nullptr when none exists.
CWinApp* AfxGetApp();

// The tail of a full command line: what follows the program's name (quoted
// or not) and the blanks (spaces and tabs) after it. Points into pszCmdLine;
// never null for a non-null argument. UTF-16, as GetCommandLineW gives it.
LPWSTR AfxCmdLineTail(LPWSTR pszCmdLine);

// Runs the one application object: InitInstance, then ExitInstance, whatever
// InitInstance returned. The result is ExitInstance's, or -1 when there is no
// application object. lpCmdLine becomes m_lpCmdLine (an empty string when
// null). Called by WinMain.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);
