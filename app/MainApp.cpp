// Start-up and shutdown of the program around its one modal dialog.
#include "app/MainApp.h"

#include "app/Globals.h"
#include "fw/Handle.h"
#include "app/Settings.h"
#include "ui/MainDlg.h"
#include "worker/WrkDefs.h"
#include "worker/WrkThread.h"

BOOL CMainApp::InitInstance() {
    g_pMainApp = this;
    LoadArcSettings();

    g_hRunMutex = CreateMutexA(nullptr, TRUE, nullptr);
    if (!g_hRunMutex)
        return FALSE;

    g_pWrkThread = AfxBeginThread<CWrkThread>(THREAD_PRIORITY_NORMAL, 0, 0, nullptr);
    if (!g_pWrkThread)
        return FALSE;
    PostThreadMessageA(g_pWrkThread->m_nThreadID, WM_COMMAND, WRK_CMD_NUDGE, 0);

    {
        CMainDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    return FALSE;
}

int CMainApp::ExitInstance() {
    // From the release on, the worker throws away every job it takes.
    if (g_hRunMutex)
        ReleaseMutex(g_hRunMutex);

    if (g_pWrkThread) {
        // The thread object deletes itself when its thread ends, so its handle
        // is taken over before the worker is told to quit: the wait below
        // then holds in every case.
        const DWORD idWorker = g_pWrkThread->m_nThreadID;
        CHandle hWorker(g_pWrkThread->DetachThreadHandle());
        // A queue kept full by a long batch refuses the quit command too; it
        // drains fast now that every job is dropped, so the post is tried
        // again for as long as the worker runs.
        while (!g_pfnPostWorkerMessage(idWorker, WM_COMMAND, WRK_CMD_QUIT, 0) &&
               WaitForSingleObject(hWorker.Get(), 20) == WAIT_TIMEOUT) {
        }
        // The job under way, a running archiver included, is finished first.
        WaitForSingleObject(hWorker.Get(), INFINITE);
        g_pWrkThread = nullptr;
    }

    if (g_hRunMutex) {
        CloseHandle(g_hRunMutex);
        g_hRunMutex = nullptr;
    }
    return CWinApp::ExitInstance();
}
