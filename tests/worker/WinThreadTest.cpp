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

// Starts a ProbeThread for probe and returns a handle of the test's own.
// Suspended first, and the handle duplicated before it runs, when the thread
// may end (and delete its object) at once; otherwise the plain start of a
// thread that lives until told to quit, whose m_hThread goes to *phOwn.
HANDLE Start(Probe& probe, bool bEndsAtOnce, DWORD* pnThreadID = nullptr,
             HANDLE* phOwn = nullptr) {
    g_pProbe = &probe;
    ProbeThread* pThread = AfxBeginThread<ProbeThread>(THREAD_PRIORITY_NORMAL, 0,
                                                       bEndsAtOnce ? CREATE_SUSPENDED : 0);
    if (!pThread)
        return nullptr;
    if (pnThreadID)
        *pnThreadID = pThread->m_nThreadID;
    if (phOwn)
        *phOwn = pThread->m_hThread;
    HANDLE hDup = pThread->DuplicateThreadHandle();
    if (bEndsAtOnce)
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

// Also: the object closes m_hThread as it deletes itself, while the
// duplicate stays valid for the wait.
TEST(WinThread, MessagePostedRightAfterCreationArrives) {
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        Probe probe;
        probe.nInitSleepMs = i % 2 ? 20 : 0;
        DWORD nID = 0;
        HANDLE hOwn = nullptr;
        HANDLE hThread = Start(probe, false, &nID, &hOwn);
        ASSERT_NE(hThread, nullptr);
        EXPECT_TRUE(PostThreadMessageA(nID, WM_PROBE, 0, 0));
        EXPECT_TRUE(PostThreadMessageA(nID, WM_PROBE_QUIT, 5, 0));
        EXPECT_EQ(ExitCodeAfterEnd(hThread), 5u); // WM_QUIT's code via ExitInstance
        EXPECT_EQ(probe.preTranslated, (std::vector<UINT>{WM_PROBE, WM_PROBE_QUIT}));
        EXPECT_EQ(probe.lifeCycle, (std::vector<std::string>{"init", "run", "exit"}));
        EXPECT_TRUE(probe.bDeleted);
        DWORD dwFlags = 0;
        EXPECT_FALSE(GetHandleInformation(hOwn, &dwFlags)) << "m_hThread was not closed";
    }
}

TEST(WinThread, FailedInitInstanceSkipsTheLoop) {
    Probe probe;
    probe.bInitResult = FALSE;
    probe.nExitCode = 42;
    HANDLE hThread = Start(probe, true);
    ASSERT_NE(hThread, nullptr);
    EXPECT_EQ(ExitCodeAfterEnd(hThread), 42u);
    EXPECT_EQ(probe.lifeCycle, (std::vector<std::string>{"init", "exit"}));
    EXPECT_TRUE(probe.preTranslated.empty());
    EXPECT_TRUE(probe.bDeleted);
}

TEST(WinThread, PreTranslateMessageSeesEveryMessageAndTrueConsumesIt) {
    Probe probe;
    probe.bMakeWindow = true;
    HANDLE hThread = Start(probe, true);
    ASSERT_NE(hThread, nullptr);
    ExitCodeAfterEnd(hThread);
    ASSERT_NE(probe.hWnd, nullptr);
    EXPECT_EQ(probe.preTranslated, (std::vector<UINT>{WM_CONSUMED, WM_PASSED, WM_PROBE_QUIT}));
    EXPECT_EQ(probe.dispatched, std::vector<UINT>{WM_PASSED});
}

} // namespace
