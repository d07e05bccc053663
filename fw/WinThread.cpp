// The thread object: start-up hand-shake, message loop and self-deletion.
#include "fw/WinThread.h"

#include "fw/Handle.h"

namespace {

// Handed to the new thread. It lives on the creator's stack: the new thread
// takes what it needs and then signals hQueueReady, its last touch.
struct ThreadStartup {
    CWinThread* pThread;
    HANDLE hQueueReady; // set by the new thread once its message queue exists
    HANDLE hGo;         // set by the creator; closed by the new thread
};

} // namespace

CWinThread::~CWinThread() {
    if (m_hThread)
        CloseHandle(m_hThread);
}

BOOL CWinThread::CreateThread(DWORD dwCreateFlags, UINT nStackSize,
                              LPSECURITY_ATTRIBUTES lpSecurityAttrs) {
    if (m_hThread)
        return FALSE;
    // Manual-reset events, closed on return unless handed to the thread.
    CHandle queueReady(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    CHandle go(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!queueReady.Get() || !go.Get())
        return FALSE;
    ThreadStartup startup{this, queueReady.Get(), go.Get()};
    DWORD nThreadID = 0;
    // Suspended until m_hThread and m_nThreadID are set, so that the thread
    // never sees them unset.
    HANDLE hThread =
        ::CreateThread(lpSecurityAttrs, nStackSize, ThreadEntry, &startup,
                       (dwCreateFlags & ~DWORD(CREATE_SUSPENDED)) | CREATE_SUSPENDED, &nThreadID);
    if (!hThread)
        return FALSE;
    m_hThread = hThread;
    m_nThreadID = nThreadID;
    ResumeThread(hThread);

    // Wait until the thread has its message queue: a thread message posted
    // before that would be refused and lost.
    HANDLE waits[2] = {queueReady.Get(), hThread};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        // The thread ended before it was ready (killed from outside): it
        // never reached the go event, and the object stays the caller's.
        CloseHandle(m_hThread);
        m_hThread = nullptr;
        m_nThreadID = 0;
        return FALSE;
    }
    if (dwCreateFlags & CREATE_SUSPENDED)
        SuspendThread(hThread); // it now waits for the go event; it stops there
    SetEvent(go.Detach());      // the thread owns the event from here on
    return TRUE;
}

DWORD WINAPI CWinThread::ThreadEntry(LPVOID pParam) {
    auto* pStartup = static_cast<ThreadStartup*>(pParam);
    CWinThread* pThread = pStartup->pThread;
    HANDLE hGo = pStartup->hGo;
    MSG msg;
    PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE); // creates the queue
    SetEvent(pStartup->hQueueReady);
    WaitForSingleObject(hGo, INFINITE);
    CloseHandle(hGo);

    int nResult = pThread->InitInstance() ? pThread->Run() : pThread->ExitInstance();
    if (pThread->m_bAutoDelete)
        delete pThread;
    return static_cast<DWORD>(nResult);
}

HANDLE CWinThread::DetachThreadHandle() {
    HANDLE hThread = m_hThread;
    m_hThread = nullptr;
    return hThread;
}

BOOL CWinThread::InitInstance() {
    return TRUE;
}

int CWinThread::Run() {
    for (;;) {
        BOOL bGot = GetMessageA(&m_msgCur, nullptr, 0, 0);
        if (bGot == 0)
            break; // WM_QUIT
        if (bGot == -1) {
            m_msgCur.wParam = static_cast<WPARAM>(-1);
            break;
        }
        if (!PreTranslateMessage(&m_msgCur)) {
            TranslateMessage(&m_msgCur);
            DispatchMessageA(&m_msgCur);
        }
    }
    return ExitInstance();
}

BOOL CWinThread::PreTranslateMessage(MSG*) {
    return FALSE;
}

int CWinThread::ExitInstance() {
    return static_cast<int>(m_msgCur.wParam);
}
