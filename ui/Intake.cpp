// Page intake: turns dropped and command-line paths into jobs for the worker.
// A batch is queued whole behind the closed intake gate, so the worker starts
// none of its jobs before the last one is posted.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

#include "app/Globals.h"
#include "fw/WinApp.h"
#include "ui/MainDlg.h"
#include "ui/PagePaths.h"
#include "ui/resource.h"
#include "worker/IntakeGate.h"
#include "worker/WrkThread.h"

namespace {

constexpr size_t kPathBuf = sizeof(WrkJob{}.szPath) / sizeof(wchar_t); // 1024

// Holds the worker for the life of one batch; every close gets its open.
class GateHold {
  public:
    GateHold() { IntakeGateClose(); }
    ~GateHold() { IntakeGateOpen(); }
    GateHold(const GateHold&) = delete;
    GateHold& operator=(const GateHold&) = delete;
};

// Jobs the worker's queue refused for being full: a thread's queue holds a
// bounded number of posted messages (10,000 by default), and one dropped
// folder can hold more pages. They keep their order, and are handed over as
// the worker's results come back. Main thread only.
class JobBacklog {
  public:
    JobBacklog() = default;
    ~JobBacklog() { FreeAll(); }
    JobBacklog(const JobBacklog&) = delete;
    JobBacklog& operator=(const JobBacklog&) = delete;

    bool IsEmpty() const { return m_nCount == 0; }
    WrkJob* Front() const { return m_ppJobs[m_nHead]; }
    void Pop() {
        ++m_nHead;
        if (--m_nCount == 0)
            m_nHead = 0;
    }
    // false when the list cannot grow; the job is then still the caller's.
    bool Push(WrkJob* pJob) {
        if (m_nHead + m_nCount == m_nCapacity) {
            if (m_nHead > 0) {
                memmove(m_ppJobs, m_ppJobs + m_nHead, m_nCount * sizeof *m_ppJobs);
                m_nHead = 0;
            } else {
                size_t nGrown = m_nCapacity ? 2 * m_nCapacity : 256;
                void* p = realloc(m_ppJobs, nGrown * sizeof *m_ppJobs);
                if (!p)
                    return false;
                m_ppJobs = static_cast<WrkJob**>(p);
                m_nCapacity = nGrown;
            }
        }
        m_ppJobs[m_nHead + m_nCount++] = pJob;
        return true;
    }
    void FreeAll() {
        for (; !IsEmpty(); Pop())
            g_pfnWrkRecordFree(Front());
        free(m_ppJobs);
        m_ppJobs = nullptr;
        m_nCapacity = 0;
    }

  private:
    WrkJob** m_ppJobs = nullptr;
    size_t m_nHead = 0, m_nCount = 0, m_nCapacity = 0;
};

JobBacklog s_backlog;

enum class Post { Done, QueueFull, Refused };

Post TryPost(WrkJob* pJob) {
    DWORD dwThreadId = g_pWrkThread ? g_pWrkThread->m_nThreadID : 0;
    if (dwThreadId && g_pfnPostWorkerMessage(dwThreadId, WM_COMMAND, WRK_CMD_JOB, (LPARAM)pJob))
        return Post::Done;
    return dwThreadId && GetLastError() == ERROR_NOT_ENOUGH_QUOTA ? Post::QueueFull : Post::Refused;
}

// Hands the job to the worker, or keeps it for later behind the jobs already
// waiting, and counts it. A job the platform refuses for any other reason
// (no worker) would leave the count waiting for an answer that never comes:
// it is freed and not counted.
void PostJob(WrkJob* pJob) {
    if (!pJob)
        return;
    if (s_backlog.IsEmpty()) {
        Post result = TryPost(pJob);
        if (result == Post::Refused) {
            g_pfnWrkRecordFree(pJob);
            return;
        }
        if (result == Post::Done) {
            ++g_nPending;
            return;
        }
    }
    if (!s_backlog.Push(pJob)) {
        g_pfnWrkRecordFree(pJob);
        return;
    }
    ++g_nPending;
}

} // namespace

void CMainDlg::PostWaitingJobs() {
    while (!s_backlog.IsEmpty()) {
        WrkJob* pJob = s_backlog.Front();
        Post result = TryPost(pJob);
        if (result == Post::QueueFull)
            return; // the next result makes room again
        s_backlog.Pop();
        if (result == Post::Refused) {
            g_pfnWrkRecordFree(pJob);
            --g_nPending;
        }
    }
}

void CMainDlg::FreeWaitingJobs() {
    s_backlog.FreeAll();
}

WrkJob* CMainDlg::MakeJob(const wchar_t* pszPath, int32_t nStatus) {
    size_t nPath = wcslen(pszPath);
    if (nPath >= kPathBuf)
        return nullptr; // the worker expects a path that fits its record
    WrkJob* pJob = static_cast<WrkJob*>(g_pfnWrkRecordAlloc(sizeof(WrkJob)));
    if (!pJob)
        return nullptr;
    wmemcpy(pJob->szPath, pszPath, nPath + 1);
    pJob->bArchive = IsDlgButtonChecked(IDC_ARCHIVE) == BST_CHECKED ? 1 : 0;
    pJob->bFixHtml = IsDlgButtonChecked(IDC_FIX_HTML) == BST_CHECKED ? 1 : 0;
    pJob->nStatus = nStatus;
    return pJob;
}

// Each page the intake finds becomes a job; so does each input it could
// not take, whose job carries only the line that says why, in its place
// among the others.
void CMainDlg::OnIntakeItem(const wchar_t* pszPathOrName, int32_t nStatus, void* pDlg) {
    PostJob(static_cast<CMainDlg*>(pDlg)->MakeJob(pszPathOrName, nStatus));
}

void CMainDlg::OnDropFiles(HDROP hDropInfo) {
    ClearLines();
    UINT nCount = DragQueryFileW(hDropInfo, 0xFFFFFFFF, nullptr, 0);
    {
        GateHold hold;
        PageIntake intake(OnIntakeItem, this);
        for (UINT i = 0; i < nCount; ++i) {
            // Any length: one too long for a job still gets its line.
            const UINT nLen = DragQueryFileW(hDropInfo, i, nullptr, 0);
            std::unique_ptr<wchar_t[]> name(new (std::nothrow) wchar_t[size_t(nLen) + 1]);
            if (nLen == 0 || !name || DragQueryFileW(hDropInfo, i, name.get(), nLen + 1) != nLen)
                continue;
            intake.AddPath(name.get(), nLen, false);
        }
        DragFinish(hDropInfo);
    }
}

void CMainDlg::AddCmdLine() {
    {
        GateHold hold;
        PageIntake intake(OnIntakeItem, this);
        intake.AddCmdLine(g_pMainApp ? g_pMainApp->m_lpCmdLine : nullptr);
    }
    // Only posted answers can lower the count, and none has been handled yet:
    // this is the number of jobs the command line produced.
    g_bAutoClose = g_nPending;
}
