// The worker thread: takes jobs one at a time from its message queue and
// renames, repairs, archives and reports each page.
#pragma once

#include <cstddef>

#include "fw/WinThread.h"

struct WrkJob;
struct WrkResult;

// Thread messages, all WM_COMMAND with the command in wParam (the whole
// value is compared):
//   WRK_CMD_JOB   lParam a WrkJob, which the worker frees in every case. The
//                 worker waits at the intake gate, then processes the job
//                 while the main thread owns g_hRunMutex, and posts a
//                 WrkResult to g_hMainWnd as ID_JOB_DONE; once the mutex is
//                 free (shutdown) the job is dropped without a result.
//   WRK_CMD_QUIT  ends the message loop; the object then deletes itself.
//   anything else is ignored.
class CWrkThread : public CWinThread {
  public:
    BOOL InitInstance() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    int ExitInstance() override;

    // The two page operations; they use none of the thread's state.
    // FixSavedPage: false when the repair did not happen (see FixSavedPage.h).
    // pszFolderSuffix: the suffix of the page's folder (FindPageFolderSuffix).
    static bool FixSavedPage(const wchar_t* pszPath, const char* pszFolderSuffix);
    static int RunArchiver(const wchar_t* pszPath, const char* pszFolderSuffix);

  private:
    static void HandleJob(WrkJob* pJob);
    // A page's job: rename, caption, repair, archive; the outcome in pResult.
    static void HandlePage(WrkJob* pJob, WrkResult* pResult);
};

// The memory of the records that travel by message: every job and result is
// allocated through the first hook (by the intake and the worker) and freed
// through the second, wherever it ends. They are malloc and free; tests point
// them at counting versions before the worker starts, to prove that every
// record is freed exactly once.
using WrkRecordAllocFn = void* (*)(size_t);
using WrkRecordFreeFn = void (*)(void*);
extern WrkRecordAllocFn g_pfnWrkRecordAlloc;
extern WrkRecordFreeFn g_pfnWrkRecordFree;

// The worker's commands, jobs and the quit command alike, are posted through
// this pointer, PostThreadMessageA. A full queue (10,000 messages on
// Windows) refuses a post with ERROR_NOT_ENOUGH_QUOTA; tests, which cannot
// fill a real queue under every host, point it at a version that refuses so.
extern BOOL(WINAPI* g_pfnPostWorkerMessage)(DWORD idThread, UINT uMsg, WPARAM wParam,
                                            LPARAM lParam);
