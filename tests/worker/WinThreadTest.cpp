// The thread object: a message posted right after creation is not lost, and
// the object deletes itself when its thread ends while a duplicated handle
// stays valid for the wait.
#include <gtest/gtest.h>

#include "fw/WinThread.h"

namespace {

struct Probe {
    bool bPostSeen = false, bDeleted = false;
};
Probe* g_pProbe; // the probe of the next thread object made

class ProbeThread : public CWinThread {
  public:
    ~ProbeThread() override { m_p->bDeleted = true; }
    BOOL PreTranslateMessage(MSG* pMsg) override {
        m_p->bPostSeen |= pMsg->message == WM_APP;
        if (pMsg->message == WM_APP + 1)
            PostQuitMessage(5);
        return FALSE;
    }
    Probe* m_p = g_pProbe;
};

TEST(WinThread, EarlyPostArrivesAndTheObjectDeletesItself) {
    for (int i = 0; i < 10; ++i) {
        Probe probe;
        g_pProbe = &probe;
        ProbeThread* pThread = AfxBeginThread<ProbeThread>();
        ASSERT_NE(pThread, nullptr);
        const DWORD nID = pThread->m_nThreadID;
        EXPECT_TRUE(PostThreadMessageA(nID, WM_APP, 0, 0));
        HANDLE hThread = pThread->DuplicateThreadHandle();
        EXPECT_TRUE(PostThreadMessageA(nID, WM_APP + 1, 0, 0));
        ASSERT_EQ(WaitForSingleObject(hThread, 10000), WAIT_OBJECT_0);
        DWORD nCode = 0;
        EXPECT_TRUE(GetExitCodeThread(hThread, &nCode));
        EXPECT_EQ(nCode, 5u); // WM_QUIT's code, through ExitInstance
        EXPECT_TRUE(probe.bPostSeen);
        EXPECT_TRUE(probe.bDeleted);
        CloseHandle(hThread);
    }
}

} // namespace
