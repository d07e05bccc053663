// Page intake: turns dropped and command-line paths into jobs for the worker.
// A batch is queued whole behind the closed intake gate, so the worker starts
// none of its jobs before the last one is posted.
#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <cstdlib>
#include <cstring>

#include "app/Globals.h"
#include "fw/Handle.h"
#include "fw/WinApp.h"
#include "ui/CmdLine.h"
#include "ui/MainDlg.h"
#include "ui/PageExt.h"
#include "ui/resource.h"
#include "worker/IntakeGate.h"
#include "worker/WrkThread.h"

namespace {

constexpr size_t kPathBuf = sizeof(WrkJob{}.szPath); // 1024: resolved and job paths

// Holds the worker for the life of one batch; every close gets its open.
class GateHold {
  public:
    GateHold() { IntakeGateClose(); }
    ~GateHold() { IntakeGateOpen(); }
    GateHold(const GateHold&) = delete;
    GateHold& operator=(const GateHold&) = delete;
};

bool IsFile(DWORD dwAttr) {
    return dwAttr == INVALID_FILE_ATTRIBUTES || !(dwAttr & FILE_ATTRIBUTE_DIRECTORY);
}

// Hands the job to the worker and counts it. A post that the platform refuses
// would leave the count waiting for an answer that never comes, so such a job
// is freed and not counted.
void PostJob(WrkJob* pJob) {
    if (!pJob)
        return;
    DWORD dwThreadId = g_pWrkThread ? g_pWrkThread->m_nThreadID : 0;
    if (!dwThreadId || !PostThreadMessageA(dwThreadId, WM_COMMAND, WRK_CMD_JOB, (LPARAM)pJob)) {
        free(pJob);
        return;
    }
    ++g_nPending;
}

} // namespace

// When the stored name makes the path too long for out (or for the shell's
// path helper), out is left empty: the caller takes nothing from it.
void ResolveFileName(const char* pszPath, char* pszOut) {
    size_t nPath = strlen(pszPath);
    if (nPath >= kPathBuf) {
        pszOut[0] = '\0';
        return;
    }
    memcpy(pszOut, pszPath, nPath + 1);
    const char* pszSlash = strrchr(pszPath, '\\');
    if (!pszSlash)
        return; // a bare name or "C:name": taken as given

    WIN32_FIND_DATAA fd;
    CFindHandle hFind(FindFirstFileA(pszPath, &fd));
    if (!hFind.IsValid())
        return;
    pszOut[pszSlash - pszPath] = '\0';
    if (!PathAppendA(pszOut, fd.cFileName) || strlen(pszOut) >= kPathBuf)
        pszOut[0] = '\0';
}

WrkJob* CMainDlg::MakeJob(const char* pszPath) {
    size_t nPath = strlen(pszPath);
    if (nPath >= kPathBuf)
        return nullptr; // the worker expects a path that fits its record
    WrkJob* pJob = (WrkJob*)malloc(sizeof(WrkJob));
    if (!pJob)
        return nullptr;
    memcpy(pJob->szPath, pszPath, nPath + 1);
    pJob->bArchive = IsDlgButtonChecked(IDC_ARCHIVE) == BST_CHECKED ? 1 : 0;
    pJob->bFixHtml = IsDlgButtonChecked(IDC_FIX_HTML) == BST_CHECKED ? 1 : 0;
    return pJob;
}

void CMainDlg::AddPath(const char* pszPath) {
    char szResolved[kPathBuf];
    ResolveFileName(pszPath, szResolved);
    if (!szResolved[0])
        return;

    if (IsFile(GetFileAttributesA(szResolved))) {
        // Unreadable attributes make a page candidate too: the worker reports
        // on a page that does not exist.
        if (IsPageExtension(PathFindExtensionA(szResolved)))
            PostJob(MakeJob(szResolved));
        return;
    }

    // A folder: its pages, one level deep, in directory-search order.
    size_t nFolder = strlen(szResolved);
    if (nFolder >= MAX_PATH)
        return;
    char szEntry[MAX_PATH];
    memcpy(szEntry, szResolved, nFolder + 1);
    if (!PathAppendA(szEntry, "*.*htm*"))
        return;
    WIN32_FIND_DATAA fd;
    CFindHandle hFind(FindFirstFileA(szEntry, &fd));
    if (!hFind.IsValid())
        return;
    do {
        memcpy(szEntry, szResolved, nFolder + 1);
        if (!PathAppendA(szEntry, fd.cFileName))
            continue; // the entry's path would not fit MAX_PATH
        DWORD dwAttr = GetFileAttributesA(szEntry);
        if (dwAttr == INVALID_FILE_ATTRIBUTES || (dwAttr & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        if (IsPageExtension(PathFindExtensionA(szEntry)))
            PostJob(MakeJob(szEntry));
    } while (FindNextFileA(hFind.Get(), &fd));
}

void CMainDlg::OnDropFiles(HDROP hDropInfo) {
    m_wndList.ResetContent();
    UINT nCount = DragQueryFileA(hDropInfo, 0xFFFFFFFF, nullptr, 0);
    {
        GateHold hold;
        for (UINT i = 0; i < nCount; ++i) {
            char szName[MAX_PATH];
            // A name that would not fit is skipped rather than cut short: a cut
            // path names some other file or none.
            UINT nLen = DragQueryFileA(hDropInfo, i, nullptr, 0);
            if (nLen == 0 || nLen >= MAX_PATH - 1)
                continue;
            if (DragQueryFileA(hDropInfo, i, szName, MAX_PATH - 1) != nLen)
                continue;
            AddPath(szName);
        }
        DragFinish(hDropInfo);
    }
}

void CMainDlg::AddCmdLine() {
    {
        GateHold hold;
        CmdLineSplitter split(g_pMainApp ? g_pMainApp->m_lpCmdLine : nullptr);
        const char* pToken;
        size_t nToken;
        while (split.Next(&pToken, &nToken)) {
            if (nToken >= kPathBuf)
                continue; // too long for any path buffer: no job
            char szToken[kPathBuf];
            memcpy(szToken, pToken, nToken);
            szToken[nToken] = '\0';
            AddPath(szToken);
        }
    }
    // Only posted answers can lower the count, and none has been handled yet:
    // this is the number of jobs the command line produced.
    g_bAutoClose = g_nPending;
}
