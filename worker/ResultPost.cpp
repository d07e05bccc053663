// The hand-over of results to the main window: see ResultPost.h.
#include "worker/ResultPost.h"

#include "app/Globals.h"
#include "worker/WrkDefs.h"
#include "worker/WrkThread.h"

namespace {

// The worker's test-and-post and the window's close, one at a time.
class DeliveryLock {
  public:
    DeliveryLock() { InitializeCriticalSection(&m_cs); }
    ~DeliveryLock() { DeleteCriticalSection(&m_cs); }
    DeliveryLock(const DeliveryLock&) = delete;
    DeliveryLock& operator=(const DeliveryLock&) = delete;
    void Enter() { EnterCriticalSection(&m_cs); }
    void Leave() { LeaveCriticalSection(&m_cs); }
    bool m_bStopped = false; // under the lock

  private:
    CRITICAL_SECTION m_cs;
};

DeliveryLock& TheLock() {
    static DeliveryLock lock;
    return lock;
}

class Held {
  public:
    Held() { TheLock().Enter(); }
    ~Held() { TheLock().Leave(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
};

} // namespace

void DeliverResult(WrkResult* pResult) {
    Held held;
    if (TheLock().m_bStopped || !IsWindow(g_hMainWnd) ||
        !PostMessageA(g_hMainWnd, WM_COMMAND, ID_JOB_DONE, reinterpret_cast<LPARAM>(pResult)))
        g_pfnWrkRecordFree(pResult);
}

void StopResultDelivery(HWND hWnd) {
    Held held;
    TheLock().m_bStopped = true;
    MSG msg;
    while (PeekMessageA(&msg, hWnd, WM_COMMAND, WM_COMMAND, PM_REMOVE))
        if (msg.wParam == ID_JOB_DONE && msg.lParam)
            g_pfnWrkRecordFree(reinterpret_cast<void*>(msg.lParam));
}
