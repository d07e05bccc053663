// Definitions of the process-wide state declared in Globals.h.
#include "app/Globals.h"

CWinApp* g_pMainApp = nullptr;
HANDLE g_hRunMutex = nullptr;
CWrkThread* g_pWrkThread = nullptr;
HWND g_hMainWnd = nullptr;
int g_nPending = 0;
int g_bAutoClose = 0;
