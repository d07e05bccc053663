// The worker test rig: record ledger, test window, pump and files.
#include "tests/worker/WorkerRig.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace {

enum class Kind { Job, Result };

struct LedgerState {
    std::mutex lock;
    std::map<void*, Kind> live;
    int nBadFrees = 0;
    int nResultsMade = 0;
    int nResultsFreedByWorker = 0;
    int nJobsFreedByWorker = 0;
    int nAllocsToFail = 0;
};

LedgerState& State() {
    static LedgerState state;
    return state;
}

// Removes p from the live records; false when it was not live.
bool Forget(void* p, Kind* pKind) {
    LedgerState& s = State();
    auto it = s.live.find(p);
    if (it == s.live.end()) {
        ++s.nBadFrees;
        return false;
    }
    *pKind = it->second;
    s.live.erase(it);
    return true;
}

} // namespace

namespace Ledger {

void Reset() {
    LedgerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    for (auto& entry : s.live)
        free(entry.first);
    s.live.clear();
    s.nBadFrees = s.nResultsMade = s.nResultsFreedByWorker = s.nJobsFreedByWorker = 0;
    s.nAllocsToFail = 0;
}

WrkJob* NewJob(const std::string& path, int bFixHtml, int bArchive) {
    auto* pJob = static_cast<WrkJob*>(malloc(sizeof(WrkJob)));
    if (!pJob)
        return nullptr;
    // Like the intake, only the path and the flags are written.
    memset(pJob->szPath, 0x5A, sizeof pJob->szPath);
    strncpy(pJob->szPath, path.c_str(), sizeof pJob->szPath - 1);
    pJob->szPath[std::min(path.size(), sizeof pJob->szPath - 1)] = '\0';
    pJob->bFixHtml = bFixHtml;
    pJob->bArchive = bArchive;
    LedgerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.live[pJob] = Kind::Job;
    return pJob;
}

void FreeOwnJob(WrkJob* pJob) {
    LedgerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    Kind kind;
    if (Forget(pJob, &kind))
        free(pJob);
}

void TakeResult(WrkResult* pResult) {
    LedgerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    Kind kind;
    if (Forget(pResult, &kind)) {
        if (kind != Kind::Result)
            ++s.nBadFrees;
        free(pResult);
    }
}

void* WorkerAlloc(size_t nBytes) {
    LedgerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.nAllocsToFail > 0) {
        --s.nAllocsToFail;
        return nullptr;
    }
    void* p = malloc(nBytes);
    // Not zero: the worker must clear the record itself.
    if (p)
        memset(p, 0xA5, nBytes);
    if (p && nBytes == sizeof(WrkResult)) {
        s.live[p] = Kind::Result;
        ++s.nResultsMade;
    } else if (p) {
        ++s.nBadFrees; // the worker allocates nothing but results
    }
    return p;
}

void WorkerFree(void* pRecord) {
    LedgerState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    Kind kind;
    if (!Forget(pRecord, &kind))
        return;
    if (kind == Kind::Job)
        ++s.nJobsFreedByWorker;
    else
        ++s.nResultsFreedByWorker;
    free(pRecord);
}

void FailWorkerAllocs(int nCount) {
    std::lock_guard<std::mutex> guard(State().lock);
    State().nAllocsToFail = nCount;
}

#define LEDGER_READ(name, field)                                                                   \
    int name() {                                                                                   \
        std::lock_guard<std::mutex> guard(State().lock);                                           \
        return static_cast<int>(State().field);                                                    \
    }
LEDGER_READ(LiveRecords, live.size())
LEDGER_READ(BadFrees, nBadFrees)
LEDGER_READ(ResultsMade, nResultsMade)
LEDGER_READ(ResultsFreedByWorker, nResultsFreedByWorker)
LEDGER_READ(JobsFreedByWorker, nJobsFreedByWorker)
#undef LEDGER_READ

} // namespace Ledger

namespace {
const char kWindowClass[] = "HalvokWorkerTestWindow";
}

TestWindow::TestWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kWindowClass;
    RegisterClassA(&wc); // fails harmlessly when already registered
    m_hWnd = CreateWindowA(kWindowClass, "idle", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                           nullptr, wc.hInstance, this);
}

TestWindow::~TestWindow() {
    Destroy();
}

void TestWindow::Destroy() {
    if (m_hWnd && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
}

std::vector<WindowEvent> TestWindow::Results() const {
    std::vector<WindowEvent> out;
    for (const WindowEvent& e : m_events)
        if (e.bResult)
            out.push_back(e);
    return out;
}

std::vector<std::string> TestWindow::Captions() const {
    std::vector<std::string> out;
    for (const WindowEvent& e : m_events)
        if (!e.bResult)
            out.push_back(e.name);
    return out;
}

LRESULT CALLBACK TestWindow::WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_NCCREATE) {
        auto* pCreate = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pCreate->lpCreateParams));
    }
    auto* pSelf = reinterpret_cast<TestWindow*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (pSelf && uMsg == WM_COMMAND && wParam == ID_JOB_DONE) {
        auto* pResult = reinterpret_cast<WrkResult*>(lParam);
        size_t nName = strnlen(pResult->szName, sizeof pResult->szName);
        bool bZeroTail = true;
        for (size_t i = nName; i < sizeof pResult->szName; ++i)
            bZeroTail = bZeroTail && pResult->szName[i] == '\0';
        pSelf->m_events.push_back({true, pResult->szName, pResult->nStatus, bZeroTail});
        Ledger::TakeResult(pResult);
        return 0;
    }
    if (pSelf && uMsg == WM_SETTEXT && lParam) {
        std::string caption = reinterpret_cast<const char*>(lParam);
        pSelf->m_events.push_back({false, caption, 0, true});
        if (pSelf->onCaption)
            pSelf->onCaption(caption);
    }
    if (uMsg == WM_NCDESTROY)
        SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

static void PumpPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        PumpPending();
        if (done())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) {
    DWORD start = GetTickCount();
    PumpUntil([&] { return GetTickCount() - start >= ms; }, ms + 1000);
}

bool PumpWait(HANDLE h, DWORD timeoutMs) {
    return PumpUntil([&] { return WaitForSingleObject(h, 0) == WAIT_OBJECT_0; }, timeoutMs);
}
