// Test rig for the worker: a ledger of every job and result record, a
// window of the test's own that receives the results and records captions,
// and a message pump.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/helpers/WinScratch.h"
#include "worker/WrkDefs.h"

// Every record the worker can see, by address. Jobs are made here (as the
// intake makes them, on the heap); the worker's hooks allocate results and
// free records through here; the test window takes results through here.
// Freeing an address that is not live counts as a bad free (and is not
// passed to free), so a double free or a stray pointer shows up as well as a
// leak.
namespace Ledger {
void Reset();
WrkJob* NewJob(const std::string& path, int bFixHtml, int bArchive);
void FreeOwnJob(WrkJob* pJob);       // a job the test never handed over
void TakeResult(WrkResult* pResult); // the window frees a delivered result
void* WorkerAlloc(size_t nBytes);    // hook: g_pfnWrkRecordAlloc
void WorkerFree(void* pRecord);      // hook: g_pfnWrkRecordFree
void FailWorkerAllocs(int nCount);   // the next nCount worker allocations fail

int LiveRecords();
int BadFrees();
int ResultsMade();
int ResultsFreedByWorker();
int JobsFreedByWorker();
} // namespace Ledger

// What the test window saw, in order: captions set on it and results posted
// to it.
struct WindowEvent {
    bool bResult; // false: a caption
    std::string name;
    int nStatus;    // results only
    bool bZeroTail; // results: every byte after the name's NUL is zero
};

class TestWindow {
  public:
    TestWindow();
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND Handle() const { return m_hWnd; }
    void Destroy();

    std::vector<WindowEvent> Results() const;
    std::vector<std::string> Captions() const;
    const std::vector<WindowEvent>& Events() const { return m_events; }

    // Called on the test's thread when a caption arrives, while the worker
    // waits for the caption to be set.
    std::function<void(const std::string&)> onCaption;

  private:
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    HWND m_hWnd = nullptr;
    std::vector<WindowEvent> m_events;
};

// Handles the test thread's messages (sent ones included) until done()
// holds or timeoutMs has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 20000);
void PumpFor(DWORD ms);
// Waits for a handle while handling messages; true when it was signalled.
bool PumpWait(HANDLE h, DWORD timeoutMs = 20000);
