// The worker thread's command handling and the life of one job: rename,
// caption, repair, archive, report.
#include "worker/WrkThread.h"

#include <shlwapi.h>

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "app/Globals.h"
#include "fw/LongPath.h"
#include "repair/FixSavedPage.h"
#include "ui/PathText.h"
#include "worker/Archiver.h"
#include "worker/IntakeGate.h"
#include "worker/ResultPost.h"
#include "worker/WrkDefs.h"

WrkRecordAllocFn g_pfnWrkRecordAlloc = [](size_t nBytes) { return malloc(nBytes); };
WrkRecordFreeFn g_pfnWrkRecordFree = [](void* pRecord) { free(pRecord); };
BOOL(WINAPI* g_pfnPostWorkerMessage)(DWORD, UINT, WPARAM, LPARAM) = PostThreadMessageA;

namespace {

constexpr size_t kPathSize = sizeof(WrkJob::szPath) / sizeof(wchar_t);
constexpr size_t kNameSize = sizeof(WrkResult::szName) / sizeof(wchar_t);

// Gives the page the extension ".htm" when it has another one. On success
// the new path is left in pszPath; when the file system refuses (a file of
// the new name exists, access denied, ...) the old path is put back and the
// job goes on under it.
void RenameToHtm(wchar_t* pszPath) {
    wchar_t* pszExt = PathFindExtensionW(pszPath);
    if (*pszExt != L'.' || _wcsicmp(pszExt, L".htm") == 0)
        return;
    // An extension shorter than ".htm" makes the path grow; it must still fit.
    static const wchar_t kHtm[] = L"htm";
    constexpr size_t nHtm = sizeof kHtm / sizeof kHtm[0]; // with the NUL
    if (static_cast<size_t>(pszExt - pszPath) + 1 + nHtm > kPathSize)
        return;
    wchar_t szOldPath[kPathSize];
    wmemcpy(szOldPath, pszPath, kPathSize);
    wmemcpy(pszExt + 1, kHtm, nHtm);
    if (!MoveFileW(CFilePath(szOldPath).Get(), CFilePath(pszPath).Get()))
        wmemcpy(pszPath, szOldPath, kPathSize);
}

} // namespace

BOOL CWrkThread::InitInstance() {
    return TRUE;
}

int CWrkThread::ExitInstance() {
    return CWinThread::ExitInstance();
}

bool CWrkThread::FixSavedPage(const wchar_t* pszPath, const char* pszFolderSuffix) {
    return ::FixSavedPage(pszPath, pszFolderSuffix);
}

int CWrkThread::RunArchiver(const wchar_t* pszPath, const char* pszFolderSuffix) {
    return ::RunArchiver(pszPath, pszFolderSuffix);
}

BOOL CWrkThread::PreTranslateMessage(MSG* pMsg) {
    // Commands come as thread messages; the worker owns no window.
    if (pMsg->message == WM_COMMAND && pMsg->hwnd == nullptr) {
        switch (pMsg->wParam) {
        case WRK_CMD_JOB:
            if (pMsg->lParam)
                HandleJob(reinterpret_cast<WrkJob*>(pMsg->lParam));
            break;
        case WRK_CMD_QUIT:
            PostQuitMessage(0);
            break;
        default: // WRK_CMD_NUDGE and anything unknown
            break;
        }
    }
    return CWinThread::PreTranslateMessage(pMsg);
}

void CWrkThread::HandleJob(WrkJob* pJob) {
    // A batch being queued holds the worker here, before the job starts.
    IntakeGateWait();

    // The main thread owns the run mutex while the application runs; getting
    // it means shutdown has begun, and queued jobs are dropped unprocessed.
    if (WaitForSingleObject(g_hRunMutex, 0) == WAIT_OBJECT_0) {
        ReleaseMutex(g_hRunMutex);
    } else if (auto* pResult = static_cast<WrkResult*>(g_pfnWrkRecordAlloc(sizeof(WrkResult)))) {
        memset(pResult, 0, sizeof(WrkResult));
        pJob->szPath[kPathSize - 1] = L'\0';
        if (pJob->nStatus == STATUS_OK) {
            HandlePage(pJob, pResult);
        } else {
            // An input the intake could not take: its line alone.
            pResult->nStatus = pJob->nStatus;
            wcsncpy(pResult->szName, pJob->szPath, kNameSize - 1);
        }
        DeliverResult(pResult);
    }
    g_pfnWrkRecordFree(pJob);
}

void CWrkThread::HandlePage(WrkJob* pJob, WrkResult* pResult) {
    RenameToHtm(pJob->szPath);
    wcsncpy(pResult->szName, FileNamePart(pJob->szPath), kNameSize - 1);
    SetWindowTextW(g_hMainWnd, pResult->szName);

    // The folder beside the page, as the browser or editor that saved it
    // named it: the repair and the archiver both follow it.
    const char* pszFolderSuffix = FindPageFolderSuffix(pJob->szPath);
    if (!pJob->bFixHtml)
        pResult->nStatus = STATUS_NO_ACTION;
    else if (!FixSavedPage(pJob->szPath, pszFolderSuffix))
        pResult->nStatus = STATUS_NOT_REPAIRED;
    if (pJob->bArchive) {
        // The archiver still runs on a page left unrepaired; its failure
        // takes the line, its success does not hide the repair's.
        const int nStatus = RunArchiver(pJob->szPath, pszFolderSuffix);
        if (nStatus != STATUS_OK || pResult->nStatus != STATUS_NOT_REPAIRED)
            pResult->nStatus = nStatus;
    }
}
