// Rig for the intake and the results display under Wine: a stand-in worker
// that records the jobs posted to it, a real HDROP, and the main dialog run
// modally on a thread of its own.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "app/Globals.h"
#include "app/Settings.h"
#include "fw/WinApp.h"
#include "tests/helpers/WinScratch.h"
#include "ui/MainDlg.h"
#include "worker/IntakeGate.h"
#include "worker/WrkDefs.h"
#include "worker/WrkThread.h"

namespace intake_test {

// A value written by another thread.
template <class T> T ReadShared(const T& value) {
    return *static_cast<const volatile T*>(&value);
}

struct JobSeen {
    std::string path;
    int bArchive;
    int bFixHtml;
    int nPendingAtStart; // g_nPending when the worker took the job
};

// The jobs the stand-in worker took, in order.
struct WorkerLog {
    std::mutex lock;
    std::vector<JobSeen> jobs;
    std::vector<JobSeen> Jobs() {
        std::lock_guard<std::mutex> guard(lock);
        return jobs;
    }
    size_t Count() { return Jobs().size(); }
};

inline WorkerLog& TheLog() {
    static WorkerLog log;
    return log;
}

// Posts a result to the main window exactly as the worker does.
inline void PostResult(int32_t nStatus, const char* pszName) {
    WrkResult* pResult = (WrkResult*)calloc(1, sizeof(WrkResult));
    pResult->nStatus = nStatus;
    strncpy(pResult->szName, pszName, sizeof pResult->szName - 1);
    PostMessageA(ReadShared(g_hMainWnd), WM_COMMAND, ID_JOB_DONE, (LPARAM)pResult);
}

// Stands in for the worker: takes jobs like the real one (waiting at the
// intake gate first) and records them.
class CStandInWorker : public CWrkThread {
  public:
    BOOL PreTranslateMessage(MSG* pMsg) override {
        if (pMsg->message == WM_COMMAND && pMsg->hwnd == nullptr) {
            if (pMsg->wParam == WRK_CMD_JOB) {
                Take((WrkJob*)pMsg->lParam);
                return TRUE;
            }
            if (pMsg->wParam == WRK_CMD_QUIT) {
                PostQuitMessage(0);
                return TRUE;
            }
        }
        return CWinThread::PreTranslateMessage(pMsg);
    }

  private:
    static void Take(WrkJob* pJob) {
        IntakeGateWait();
        JobSeen seen{pJob->szPath, pJob->bArchive, pJob->bFixHtml, ReadShared(g_nPending)};
        free(pJob);
        std::lock_guard<std::mutex> guard(TheLog().lock);
        TheLog().jobs.push_back(seen);
    }
};

// Starts the stand-in worker and makes it g_pWrkThread; stops it at the end.
class StandInWorkerScope {
  public:
    StandInWorkerScope() : m_pWorker(AfxBeginThread<CStandInWorker>()) {
        std::lock_guard<std::mutex> guard(TheLog().lock);
        TheLog().jobs.clear();
        m_pWorker->m_bAutoDelete = FALSE; // it ends only when told to
        g_pWrkThread = m_pWorker;
        g_nPending = 0;
        g_bAutoClose = 0;
    }
    ~StandInWorkerScope() {
        PostThreadMessageA(m_pWorker->m_nThreadID, WM_COMMAND, WRK_CMD_QUIT, 0);
        WaitForSingleObject(m_pWorker->m_hThread, 10000);
        delete m_pWorker;
        g_pWrkThread = nullptr;
    }
    StandInWorkerScope(const StandInWorkerScope&) = delete;
    StandInWorkerScope& operator=(const StandInWorkerScope&) = delete;

  private:
    CStandInWorker* m_pWorker;
};

// A drop handle as the shell hands it over: a movable global block with a
// DROPFILES header and a double-NUL-terminated list of ANSI names.
inline HDROP MakeDrop(const std::vector<std::string>& names) {
    size_t cb = sizeof(DROPFILES) + 1;
    for (const std::string& n : names)
        cb += n.size() + 1;
    HGLOBAL hMem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, cb);
    auto* pDrop = static_cast<DROPFILES*>(GlobalLock(hMem));
    pDrop->pFiles = sizeof(DROPFILES);
    pDrop->fWide = FALSE;
    char* p = reinterpret_cast<char*>(pDrop) + sizeof(DROPFILES);
    for (const std::string& n : names) {
        memcpy(p, n.c_str(), n.size() + 1);
        p += n.size() + 1;
    }
    *p = '\0';
    GlobalUnlock(hMem);
    return static_cast<HDROP>(hMem);
}

// The main dialog, run modally on its own thread as the application runs it.
// The command-line tail and the settings file are set before it starts.
class DialogRunner {
  public:
    DialogRunner(const std::string& iniPath, const std::string& cmdLine) : m_cmdLine(cmdLine) {
        lstrcpynA(g_szIniPath, iniPath.c_str(), MAX_PATH);
        m_app.m_lpCmdLine = &m_cmdLine[0];
        g_pMainApp = &m_app;
        g_hMainWnd = nullptr;
        m_hThread = CreateThread(nullptr, 0, ThreadProc, nullptr, 0, nullptr);
    }
    ~DialogRunner() {
        if (!Ended()) {
            PostMessageA(Hwnd(), WM_COMMAND, IDCANCEL, 0);
            WaitForSingleObject(m_hThread, 10000);
        }
        CloseHandle(m_hThread);
        g_pMainApp = nullptr;
    }
    DialogRunner(const DialogRunner&) = delete;
    DialogRunner& operator=(const DialogRunner&) = delete;

    // True once the dialog is up and its start-up (the command line
    // included) is over.
    bool WaitShown() {
        if (!WaitFor([] {
                HWND h = ReadShared(g_hMainWnd);
                return h && IsWindowVisible(h);
            }))
            return false;
        Sync();
        return true;
    }
    // Returns once the dialog has handled every message posted before.
    void Sync() {
        PostMessageA(Hwnd(), WM_NULL, 0, 0);
        SendMessageA(Hwnd(), WM_NULL, 0, 0);
    }
    bool Ended(DWORD ms = 0) { return WaitForSingleObject(m_hThread, ms) == WAIT_OBJECT_0; }

    HWND Hwnd() const { return ReadShared(g_hMainWnd); }
    HWND List() const { return GetDlgItem(Hwnd(), 1000); }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        int n = (int)SendMessageA(List(), LB_GETCOUNT, 0, 0);
        for (int i = 0; i < n; ++i) {
            std::string s((size_t)SendMessageA(List(), LB_GETTEXTLEN, i, 0), '\0');
            SendMessageA(List(), LB_GETTEXT, i, (LPARAM)&s[0]);
            lines.push_back(s);
        }
        return lines;
    }
    std::string Caption() const {
        char sz[512] = "";
        GetWindowTextA(Hwnd(), sz, sizeof sz);
        return sz;
    }

  private:
    static DWORD WINAPI ThreadProc(LPVOID) {
        CMainDlg dlg;
        dlg.DoModal();
        return 0;
    }

    CWinApp m_app;
    std::string m_cmdLine;
    HANDLE m_hThread;
};

} // namespace intake_test
