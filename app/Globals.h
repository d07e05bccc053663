// Process-wide state shared by the main thread and the worker.
#pragma once

#include <windows.h>

class CWinApp;
class CWrkThread;

extern CWinApp* g_pMainApp;        // the application object, set at start-up
extern HANDLE g_hRunMutex;         // owned by the main thread while running
extern CWrkThread* g_pWrkThread;   // the worker thread object
extern HWND g_hMainWnd;            // the main dialog; set once, never cleared
extern int g_nPending;             // jobs posted and not yet answered (main thread)
extern int g_bAutoClose;           // close once nothing is pending (main thread)
