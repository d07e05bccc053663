// A thread with a message loop: the small stand-in for the framework's
// user-interface thread. Created running; every message it takes goes to
// PreTranslateMessage first. By default the object deletes itself when its
// thread ends, and m_hThread is closed with it: a caller that waits for the
// thread after asking it to end takes the handle over first
// (DetachThreadHandle).
#pragma once

#include <windows.h>

#include <new>

class CWinThread {
  public:
    CWinThread() = default;
    virtual ~CWinThread(); // closes m_hThread
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Starts the thread. When this returns TRUE the thread already has its
    // message queue, so a message posted to m_nThreadID at once is never
    // lost. With CREATE_SUSPENDED the thread stops before InitInstance until
    // ResumeThread. FALSE when it could not be created; the object then
    // stays the caller's.
    BOOL CreateThread(DWORD dwCreateFlags = 0, UINT nStackSize = 0,
                      LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);

    // Hands m_hThread over to the caller, who closes it; the object no
    // longer closes it. Take it before asking the thread to end: once the
    // thread has ended, an auto-deleting object is gone.
    HANDLE DetachThreadHandle();

    // On the thread, in this order: InitInstance; Run when it returned TRUE,
    // otherwise ExitInstance alone. The thread's exit code is the result of
    // ExitInstance. Then the object deletes itself when m_bAutoDelete is set.
    virtual BOOL InitInstance();                 // TRUE
    virtual int Run();                           // the loop; returns ExitInstance()
    virtual BOOL PreTranslateMessage(MSG* pMsg); // TRUE: consumed; base: FALSE
    virtual int ExitInstance();                  // wParam of the last message (WM_QUIT)

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    BOOL m_bAutoDelete = TRUE;

  protected:
    MSG m_msgCur{};

  private:
    static DWORD WINAPI ThreadEntry(LPVOID pParam);
};

// Creates a T (default constructor) and starts its thread with the given
// priority; nullptr when the object or the thread cannot be created. A
// thread that may end at once (InitInstance failing) may delete its object
// before this returns: start such a thread CREATE_SUSPENDED and read its
// handle and identifier before ResumeThread.
template <class T>
T* AfxBeginThread(int nPriority = THREAD_PRIORITY_NORMAL, UINT nStackSize = 0,
                  DWORD dwCreateFlags = 0, LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr) {
    T* pThread = new (std::nothrow) T;
    if (!pThread)
        return nullptr;
    // Suspended, so that the priority is set before the thread runs any code
    // of its own and the object cannot vanish before it is returned.
    if (!pThread->CreateThread(dwCreateFlags | CREATE_SUSPENDED, nStackSize, lpSecurityAttrs)) {
        delete pThread;
        return nullptr;
    }
    SetThreadPriority(pThread->m_hThread, nPriority);
    if (!(dwCreateFlags & CREATE_SUSPENDED))
        ResumeThread(pThread->m_hThread);
    return pThread;
}
