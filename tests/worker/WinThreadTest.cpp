// The thread object: a message posted right after creation arrives, the
// life cycle runs in order and ends with the object deleting itself while a
// duplicated handle stays valid, and PreTranslateMessage sees every message
// and can consume it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fw/WinThread.h"

namespace {

constexpr UINT WM_PROBE = WM_APP;          // recorded
constexpr UINT WM_PROBE_QUIT = WM_APP + 1; // PostQuitMessage(wParam)
constexpr UINT WM_CONSUMED = WM_APP + 2;   // PreTranslateMessage returns TRUE
constexpr UINT WM_PASSED = WM_APP + 3;     // PreTranslateMessage returns FALSE

// What one thread object did; written by its thread, read by the test once
// the thread has ended.
struct Probe {
    int nInitSleepMs = 0;
    BOOL bInitResult = TRUE;
    bool bMakeWindow = false;
    int nExitCode = -1; // -1: the base ExitInstance's value
    std::vector<std::string> lifeCycle;
    std::vector<UINT> preTranslated;
    std::vector<UINT> dispatched; // reached the window procedure
    bool bDeleted = false;
    HWND hWnd = nullptr;
};

Probe* g_pProbe; // the probe for the next thread object made

LRESULT CALLBACK ProbeWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg >= WM_APP && uMsg <= WM_APP + 3)
        g_pProbe->dispatched.push_back(uMsg);
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

class ProbeThread : public CWinThread {
  public:
    ProbeThread() : m_p(g_pProbe) {}
    ~ProbeThread() override { m_p->bDeleted = true; }

    BOOL InitInstance() override {
        m_p->lifeCycle.push_back("init");
        Sleep(m_p->nInitSleepMs);
        if (m_p->bMakeWindow) {
            WNDCLASSA wc{};
            wc.lpfnWndProc = ProbeWndProc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = "HalvokProbeThreadWindow";
            RegisterClassA(&wc);
            m_p->hWnd = CreateWindowA(wc.lpszClassName, "", 0, 0, 0, 10, 10, nullptr, nullptr,
                                      wc.hInstance, nullptr);
            PostMessageA(m_p->hWnd, WM_CONSUMED, 0, 0);
            PostMessageA(m_p->hWnd, WM_PASSED, 0, 0);
            PostThreadMessageA(GetCurrentThreadId(), WM_PROBE_QUIT, 0, 0);
        }
        return m_p->bInitResult;
    }

    int Run() override {
        m_p->lifeCycle.push_back("run");
        return CWinThread::Run();
    }

    BOOL PreTranslateMessage(MSG* pMsg) override {
        if (pMsg->message >= WM_APP && pMsg->message <= WM_APP + 3)
            m_p->preTranslated.push_back(pMsg->message);
        if (pMsg->message == WM_PROBE_QUIT)
            PostQuitMessage(static_cast<int>(pMsg->wParam));
        return pMsg->message == WM_CONSUMED;
    }

    int ExitInstance() override {
        m_p->lifeCycle.push_back("exit");
        if (m_p->hWnd)
            DestroyWindow(m_p->hWnd);
        return m_p->nExitCode >= 0 ? m_p->nExitCode : CWinThread::ExitInstance();
    }

  private:
    Probe* m_p;
};

// Starts a ProbeThread for probe; returns a handle of the test's own. The
// thread is started suspended and its handle duplicated before it runs (a
// thread whose InitInstance fails may delete its object at once), unless
// bPlain asks for the plain start of a thread that lives until told to quit.
HANDLE Start(Probe& probe, DWORD dwFlags, DWORD* pnThreadID, ProbeThread** ppThread = nullptr,
             bool bPlain = false) {
    g_pProbe = &probe;
    if (bPlain) {
        ProbeThread* pThread = AfxBeginThread<ProbeThread>();
        if (!pThread)
            return nullptr;
        *pnThreadID = pThread->m_nThreadID;
        return pThread->DuplicateThreadHandle();
    }
    ProbeThread* pThread =
        AfxBeginThread<ProbeThread>(THREAD_PRIORITY_NORMAL, 0, dwFlags | CREATE_SUSPENDED);
    if (!pThread)
        return nullptr;
    *pnThreadID = pThread->m_nThreadID;
    if (ppThread)
        *ppThread = pThread;
    HANDLE hDup = pThread->DuplicateThreadHandle();
    if (!(dwFlags & CREATE_SUSPENDED))
        ResumeThread(pThread->m_hThread);
    return hDup;
}

DWORD ExitCodeAfterEnd(HANDLE hThread) {
    EXPECT_EQ(WaitForSingleObject(hThread, 10000), WAIT_OBJECT_0);
    DWORD nCode = 0xDEAD;
    EXPECT_TRUE(GetExitCodeThread(hThread, &nCode));
    CloseHandle(hThread);
    return nCode;
}

TEST(WinThread, MessagePostedRightAfterCreationArrives) {
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        Probe probe;
        probe.nInitSleepMs = i % 2 ? 20 : 0;
        DWORD nID = 0;
        HANDLE hThread = Start(probe, 0, &nID, nullptr, i < 10);
        ASSERT_NE(hThread, nullptr);
        EXPECT_TRUE(PostThreadMessageA(nID, WM_PROBE, 0, 0));
        EXPECT_TRUE(PostThreadMessageA(nID, WM_PROBE_QUIT, 5, 0));
        EXPECT_EQ(ExitCodeAfterEnd(hThread), 5u); // WM_QUIT's code via ExitInstance
        EXPECT_EQ(probe.preTranslated, (std::vector<UINT>{WM_PROBE, WM_PROBE_QUIT}));
        EXPECT_EQ(probe.lifeCycle, (std::vector<std::string>{"init", "run", "exit"}));
        EXPECT_TRUE(probe.bDeleted);
    }
}

TEST(WinThread, FailedInitInstanceSkipsTheLoop) {
    Probe probe;
    probe.bInitResult = FALSE;
    probe.nExitCode = 42;
    DWORD nID = 0;
    HANDLE hThread = Start(probe, 0, &nID);
    ASSERT_NE(hThread, nullptr);
    EXPECT_EQ(ExitCodeAfterEnd(hThread), 42u);
    EXPECT_EQ(probe.lifeCycle, (std::vector<std::string>{"init", "exit"}));
    EXPECT_TRUE(probe.preTranslated.empty());
    EXPECT_TRUE(probe.bDeleted);
}

TEST(WinThread, ObjectClosesItsHandleWhenItDeletesItselfButADuplicateStaysValid) {
    Probe probe;
    DWORD nID = 0;
    ProbeThread* pThread = nullptr;
    HANDLE hDup = Start(probe, 0, &nID, &pThread);
    ASSERT_NE(hDup, nullptr);
    HANDLE hOwn = pThread->m_hThread; // read before the object can go
    EXPECT_TRUE(PostThreadMessageA(nID, WM_PROBE_QUIT, 0, 0));
    EXPECT_EQ(ExitCodeAfterEnd(hDup), 0u);
    ASSERT_TRUE(probe.bDeleted);
    DWORD dwFlags = 0;
    EXPECT_FALSE(GetHandleInformation(hOwn, &dwFlags)) << "m_hThread was not closed";
}

TEST(WinThread, PreTranslateMessageSeesEveryMessageAndTrueConsumesIt) {
    Probe probe;
    probe.bMakeWindow = true;
    DWORD nID = 0;
    HANDLE hThread = Start(probe, 0, &nID);
    ASSERT_NE(hThread, nullptr);
    ExitCodeAfterEnd(hThread);
    ASSERT_NE(probe.hWnd, nullptr);
    EXPECT_EQ(probe.preTranslated, (std::vector<UINT>{WM_CONSUMED, WM_PASSED, WM_PROBE_QUIT}));
    EXPECT_EQ(probe.dispatched, std::vector<UINT>{WM_PASSED});
}

} // namespace
