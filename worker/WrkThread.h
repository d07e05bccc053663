// The worker thread: takes jobs one at a time from its message queue and
// renames, repairs, archives and reports each page.
#pragma once

#include "fw/WinThread.h"

class CWrkThread : public CWinThread {
public:
    BOOL InitInstance() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    int ExitInstance() override;

    // The two page operations; they use none of the thread's state.
    static void FixSavedPage(const char* pszPath);
    static int RunArchiver(const char* pszPath);
};
