// A thread with a message loop: the small stand-in for the framework's
// user-interface thread. Created running; every message it takes goes to
// PreTranslateMessage first. By default the object deletes itself when its
// thread ends, and m_hThread is closed with it: a caller that waits for the
// thread after asking it to end must wait on its own duplicate of the handle
// (DuplicateThreadHandle).
#pragma once

#include <windows.h>

#include <new>

class CWinThread {
public:
    CWinThread() = default;
    virtual ~CWinThread();
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Starts the thread running. FALSE when it could not be created; the
    // object then stays the caller's.
    BOOL CreateThread(DWORD dwCreateFlags = 0, UINT nStackSize = 0,
                      LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);

    // A new handle to the thread, owned by the caller; NULL on failure. Read
    // it before asking the thread to end.
    HANDLE DuplicateThreadHandle() const;

    virtual BOOL InitInstance();                   // FALSE: end at once
    virtual int Run();                             // the message loop
    virtual BOOL PreTranslateMessage(MSG* pMsg);   // TRUE: message consumed
    virtual int ExitInstance();                    // the thread's exit code

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    BOOL m_bAutoDelete = TRUE;

protected:
    MSG m_msgCur{};

private:
    static DWORD WINAPI ThreadEntry(LPVOID pParam);
};

// Creates a T (default constructor) and starts its thread; nullptr when the
// object or the thread cannot be created.
template <class T>
T* AfxBeginThread(int nPriority = THREAD_PRIORITY_NORMAL, UINT nStackSize = 0,
                  DWORD dwCreateFlags = 0, LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr) {
    T* pThread = new (std::nothrow) T;
    if (!pThread)
        return nullptr;
    if (!pThread->CreateThread(dwCreateFlags | CREATE_SUSPENDED, nStackSize, lpSecurityAttrs)) {
        delete pThread;
        return nullptr;
    }
    SetThreadPriority(pThread->m_hThread, nPriority);
    if (!(dwCreateFlags & CREATE_SUSPENDED))
        ResumeThread(pThread->m_hThread);
    return pThread;
}
