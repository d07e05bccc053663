// The worker thread against real files, the stand-in archiver and a real
// window of the test that receives the results. Every test ends with the
// application's shutdown and a check of the record ledger: no job or result
// left alive, none freed twice.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <mutex>
#include <set>
#include <utility>

#include "app/Globals.h"
#include "app/Settings.h"
#include "tests/helpers/WinScratch.h"
#include "worker/IntakeGate.h"
#include "worker/WrkDefs.h"
#include "worker/WrkThread.h"

namespace {

// One escaped reference; the repair turns %41 into A.
const std::string kPage = "<html><body><img src=\"news_files/%41.png\"></body></html>";
const std::string kRepaired = "<html><body><img src=\"news_files/A.png\"></body></html>";

// Every live job and result; freeing an address that is not live (twice, or
// a record the worker does not own) counts as a bad free.
std::mutex g_lock;
std::set<void*> g_live;
int g_nBadFrees = 0, g_nResultsMade = 0;

void* Track(void* p) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_live.insert(p);
    return p;
}

void Forget(void* p) { // g_pfnWrkRecordFree, and the window's free
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_live.erase(p))
        free(p);
    else
        ++g_nBadFrees;
}

void* WorkerAlloc(size_t nBytes) { // g_pfnWrkRecordAlloc
    ++g_nResultsMade;              // on the worker thread, read once it has ended
    // Filled, so that a result the worker does not clear shows.
    return Track(memset(malloc(nBytes), 0xA5, nBytes));
}

WrkJob* NewJob(const std::string& path, int bFixHtml, int bArchive) {
    auto* pJob = static_cast<WrkJob*>(calloc(1, sizeof(WrkJob)));
    snprintf(pJob->szPath, sizeof pJob->szPath, "%s", path.c_str());
    pJob->bFixHtml = bFixHtml;
    pJob->bArchive = bArchive;
    return static_cast<WrkJob*>(Track(pJob));
}

// What the test window saw: results (name, status) in arrival order, and
// captions; g_onCaption runs while the worker waits for its caption.
std::vector<std::pair<std::string, int>> g_results;
std::vector<std::string> g_captions;
std::function<void(const std::string&)> g_onCaption;

LRESULT CALLBACK TestWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_COMMAND && wParam == ID_JOB_DONE) {
        auto* pResult = reinterpret_cast<WrkResult*>(lParam);
        g_results.push_back({pResult->szName, pResult->nStatus});
        Forget(pResult);
        return 0;
    }
    if (uMsg == WM_SETTEXT && lParam) {
        g_captions.push_back(reinterpret_cast<const char*>(lParam));
        if (g_onCaption)
            g_onCaption(g_captions.back());
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// Handles the test thread's messages (sent ones included) while it waits.
bool PumpUntil(const std::function<bool()>& done, DWORD ms = 20000) {
    return WaitFor(
        [&] {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            return done();
        },
        ms);
}

void Pump(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

bool WaitResults(size_t nCount) {
    return PumpUntil([&] { return g_results.size() >= nCount; });
}

class WorkerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_live.clear();
        g_nBadFrees = g_nResultsMade = 0;
        g_results.clear();
        g_captions.clear();
        g_onCaption = nullptr;
        g_pfnWrkRecordAlloc = WorkerAlloc;
        g_pfnWrkRecordFree = Forget;
        snprintf(g_szArcExe, sizeof g_szArcExe, "%sfakearc.exe", ProgramDir().c_str());
        snprintf(g_szArcCmd, sizeof g_szArcCmd, " \"%%s\" \"%%s\" \"%%s\"");
        g_bHidden = 1;

        WNDCLASSA wc{};
        wc.lpfnWndProc = TestWndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "HalvokWorkerTestWindow";
        RegisterClassA(&wc); // fails harmlessly when already registered
        g_hMainWnd = m_hWnd = CreateWindowA(wc.lpszClassName, "idle", WS_OVERLAPPEDWINDOW, 0, 0,
                                            200, 100, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(m_hWnd, nullptr);
        g_hRunMutex = CreateMutexA(nullptr, TRUE, nullptr);
        CWrkThread* pWorker = AfxBeginThread<CWrkThread>();
        ASSERT_NE(pWorker, nullptr);
        m_hWorker = pWorker->DuplicateThreadHandle();
        m_nWorkerID = pWorker->m_nThreadID;
        Post(WM_COMMAND, WRK_CMD_NUDGE, 0); // as at start-up
    }

    void TearDown() override {
        StopWorker();
        Pump(20); // results posted just before the end
        DestroyWindow(m_hWnd);
        while (!IntakeGateIsOpen())
            IntakeGateOpen();
        // The worker left the mutex free, not abandoned.
        EXPECT_EQ(WaitForSingleObject(g_hRunMutex, 0), WAIT_OBJECT_0);
        ReleaseMutex(g_hRunMutex);
        CloseHandle(g_hRunMutex);
        g_hRunMutex = nullptr;
        g_hMainWnd = nullptr;
        EXPECT_TRUE(g_live.empty()) << "a job or result was not freed";
        EXPECT_EQ(g_nBadFrees, 0);
    }

    // Shutdown in the application's order: release the run mutex, post the
    // quit command, wait for the thread.
    void StopWorker() {
        if (!m_hWorker)
            return;
        BeginShutdown();
        Post(WM_COMMAND, WRK_CMD_QUIT, 0);
        EXPECT_TRUE(PumpUntil([&] { return WaitForSingleObject(m_hWorker, 0) == WAIT_OBJECT_0; }));
        CloseHandle(m_hWorker);
        m_hWorker = nullptr;
    }
    void BeginShutdown() {
        if (std::exchange(m_bOwnMutex, false))
            ReleaseMutex(g_hRunMutex);
    }
    void Post(UINT uMsg, WPARAM wParam, LPARAM lParam) {
        EXPECT_TRUE(PostThreadMessageA(m_nWorkerID, uMsg, wParam, lParam));
    }
    void PostJob(const std::string& name, int bFixHtml, int bArchive) {
        Post(WM_COMMAND, WRK_CMD_JOB,
             reinterpret_cast<LPARAM>(NewJob(m_dir.File(name, kPage), bFixHtml, bArchive)));
    }
    std::vector<std::string> Folder() const { return ListFolder(m_dir.Path()); }
    // The stand-in archiver got this exact path as one of its arguments.
    bool Archived(const std::string& path) const {
        return ReadBytes(m_sLog).find("\"" + path + "\"") != std::string::npos;
    }

    ScratchDir m_dir{"worker"};    // the pages
    ScratchDir m_logDir{"arclog"}; // the stand-in archiver's record
    std::string m_sLog = m_logDir / "arc.log";
    EnvVar m_log{"HALVOK_FAKEARC_LOG", m_sLog};
    HWND m_hWnd = nullptr;
    HANDLE m_hWorker = nullptr;
    DWORD m_nWorkerID = 0;
    bool m_bOwnMutex = true;
};

// Results come in posting order, each named after its rename, with the
// status the flags give; the caption names each page after its rename and
// before its repair and archiving.
TEST_F(WorkerTest, RenamesRepairsArchivesAndReportsEachPage) {
    EnvVar exitCode("HALVOK_FAKEARC_EXIT", "3");
    const struct {
        const char* from;
        int bFixHtml, bArchive;
        const char* to; // the name afterwards, and in the result
        int nStatus;
    } rows[] = {
        {"a\\news.html", 0, 0, "news.htm", STATUS_NO_ACTION},
        {"b\\news.HTML", 1, 0, "news.htm", STATUS_OK},
        {"c\\news.shtml", 0, 1, "news.htm", 3},
        {"d\\page.HTM", 1, 1, "page.HTM", 3},
        {"e\\page.html", 1, 1, "page.html", 3}, // page.htm lies beside it
    };
    auto folder = [&](size_t i) { return m_dir / std::string(rows[i].from, 1); };
    for (const char* name : {"a", "b", "c", "d", "e"})
        m_dir.Folder(name);
    m_dir.File("e\\page.htm", "beside");
    std::vector<std::string> untouched; // at each caption
    g_onCaption = [&](const std::string& caption) {
        const std::string path = folder(g_captions.size() - 1) + "\\" + caption;
        untouched.push_back(ReadBytes(path) == kPage && !Archived(path) ? caption : "");
    };
    for (const auto& row : rows)
        PostJob(row.from, row.bFixHtml, row.bArchive);
    ASSERT_TRUE(WaitResults(std::size(rows)));
    ASSERT_EQ(untouched.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].from);
        const std::string path = folder(i) + "\\" + rows[i].to;
        EXPECT_EQ(g_results[i].first, rows[i].to);
        EXPECT_EQ(g_results[i].second, rows[i].nStatus);
        EXPECT_EQ(untouched[i], rows[i].to);
        EXPECT_EQ(ListFolder(folder(i)).size(), i == 4 ? 2u : 1u);
        EXPECT_EQ(ReadBytes(path), rows[i].bFixHtml ? kRepaired : kPage);
        EXPECT_EQ(Archived(path), rows[i].bArchive != 0);
    }
    EXPECT_EQ(ReadBytes(m_dir / "e\\page.htm"), "beside");
}

// Shutdown begins and the window goes while w0 is with the archiver: w0
// finishes and the worker frees its result; w1, queued, is freed unprocessed
// without a result.
TEST_F(WorkerTest, ShutdownFinishesTheJobUnderWayAndDropsTheQueuedOnes) {
    EnvVar slow("HALVOK_FAKEARC_SLEEP_MS", "800");
    for (const char* name : {"w0.html", "w1.html"})
        PostJob(name, 1, 1);
    ASSERT_TRUE(PumpUntil([] { return !g_captions.empty(); }));
    BeginShutdown();
    DestroyWindow(m_hWnd);
    StopWorker();
    EXPECT_EQ(Folder(), (std::vector<std::string>{"w0.htm", "w1.html"}));
    EXPECT_EQ(ReadBytes(m_dir / "w0.htm"), kRepaired);
    EXPECT_TRUE(Archived(m_dir / "w0.htm"));
    EXPECT_EQ(ReadBytes(m_dir / "w1.html"), kPage);
    EXPECT_EQ(g_nResultsMade, 1);
}

TEST_F(WorkerTest, GateHoldsABatchUntilItOpens) {
    IntakeGateClose();
    PostJob("g0.html", 0, 0);
    PostJob("g1.html", 0, 0);
    Pump(300);
    EXPECT_TRUE(g_captions.empty());
    EXPECT_EQ(Folder(), (std::vector<std::string>{"g0.html", "g1.html"}));
    IntakeGateOpen();
    ASSERT_TRUE(WaitResults(2));
    EXPECT_EQ(Folder(), (std::vector<std::string>{"g0.htm", "g1.htm"}));
}

// Each stray message carries a job for a real page: taking any for a job
// would touch the page, taking one for the quit command would end the
// worker before the real job, and freeing its job is a bad free below.
TEST_F(WorkerTest, OtherCommandsAndMessagesAreIgnored) {
    const std::string decoy = m_dir.File("decoy.html", kPage);
    std::vector<WrkJob*> jobs;
    const std::pair<UINT, WPARAM> strays[] = {{WM_COMMAND, 7},
                                              {WM_COMMAND, WRK_CMD_NUDGE},
                                              {WM_COMMAND, MAKEWPARAM(WRK_CMD_JOB, 1)},
                                              {WM_COMMAND, MAKEWPARAM(WRK_CMD_QUIT, 1)},
                                              {WM_APP, WRK_CMD_JOB}};
    for (const auto& stray : strays) {
        jobs.push_back(NewJob(decoy, 1, 1));
        Post(stray.first, stray.second, reinterpret_cast<LPARAM>(jobs.back()));
    }
    PostJob("real.html", 0, 0);
    ASSERT_TRUE(WaitResults(1));
    StopWorker();
    EXPECT_EQ(g_captions, std::vector<std::string>{"real.htm"});
    EXPECT_EQ(ReadBytes(decoy), kPage);
    for (WrkJob* pJob : jobs)
        Forget(pJob);
}

} // namespace
