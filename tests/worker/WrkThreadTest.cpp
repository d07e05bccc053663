// The worker thread against real files, the stand-in archiver and a real
// window of the test that receives the results. Every test ends with the
// application's shutdown and a check of the record ledger: no job or result
// left alive, none freed twice, the worker object gone.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>

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

// Every live job and result by address (true: a result). A free of an
// address that is not live is counted, not passed on. The counters are read
// once the worker has ended.
struct Ledger {
    std::mutex lock;
    std::map<void*, bool> live;
    int nBadFrees = 0, nResultsMade = 0, nAllocsToFail = 0;
    int nJobsFreedByWorker = 0, nResultsFreedByWorker = 0;
} g_ledger;

// Forgets p; false (and a bad free) when it was not live or not of the kind.
bool Forget(void* p, bool bResult) {
    auto it = g_ledger.live.find(p);
    if (it == g_ledger.live.end() || it->second != bResult) {
        ++g_ledger.nBadFrees;
        return false;
    }
    g_ledger.live.erase(it);
    free(p);
    return true;
}

void* WorkerAlloc(size_t nBytes) { // g_pfnWrkRecordAlloc
    std::lock_guard<std::mutex> guard(g_ledger.lock);
    if (g_ledger.nAllocsToFail > 0) {
        --g_ledger.nAllocsToFail;
        return nullptr;
    }
    void* p = malloc(nBytes);
    memset(p, 0xA5, nBytes); // the worker must clear the record itself
    g_ledger.live[p] = true;
    ++g_ledger.nResultsMade;
    if (nBytes != sizeof(WrkResult))
        ++g_ledger.nBadFrees; // the worker allocates nothing but results
    return p;
}

void WorkerFree(void* p) { // g_pfnWrkRecordFree
    std::lock_guard<std::mutex> guard(g_ledger.lock);
    auto it = g_ledger.live.find(p);
    bool bResult = it != g_ledger.live.end() && it->second;
    if (Forget(p, bResult))
        ++(bResult ? g_ledger.nResultsFreedByWorker : g_ledger.nJobsFreedByWorker);
}

WrkJob* NewJob(const std::string& path, int bFixHtml, int bArchive) {
    auto* pJob = static_cast<WrkJob*>(malloc(sizeof(WrkJob)));
    // Like the intake, only the path and the flags are written.
    memset(pJob, 0x5A, sizeof *pJob);
    snprintf(pJob->szPath, sizeof pJob->szPath, "%s", path.c_str());
    pJob->bFixHtml = bFixHtml;
    pJob->bArchive = bArchive;
    std::lock_guard<std::mutex> guard(g_ledger.lock);
    g_ledger.live[pJob] = false;
    return pJob;
}

// What the test window saw: results in arrival order, and captions.
struct Result {
    std::string name;
    int nStatus;
    bool bZeroTail; // every byte after the name's NUL is zero
};
std::vector<Result> g_results;
std::vector<std::string> g_captions;
// Runs on the test's thread while the worker waits for its caption.
std::function<void(const std::string&)> g_onCaption;

LRESULT CALLBACK TestWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == WM_COMMAND && wParam == ID_JOB_DONE) {
        auto* pResult = reinterpret_cast<WrkResult*>(lParam);
        size_t nName = strnlen(pResult->szName, sizeof pResult->szName);
        bool bZeroTail = true;
        for (size_t i = nName; i < sizeof pResult->szName; ++i)
            bZeroTail = bZeroTail && pResult->szName[i] == '\0';
        g_results.push_back({pResult->szName, pResult->nStatus, bZeroTail});
        std::lock_guard<std::mutex> guard(g_ledger.lock);
        Forget(pResult, true);
        return 0;
    }
    if (uMsg == WM_SETTEXT && lParam) {
        g_captions.push_back(reinterpret_cast<const char*>(lParam));
        if (g_onCaption)
            g_onCaption(g_captions.back());
    }
    return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

// Handles the test thread's messages (sent ones included) until done() holds
// or timeoutMs has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 20000) {
    for (DWORD start = GetTickCount();;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        if (done())
            return true;
        if (GetTickCount() - start > timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms) {
    DWORD start = GetTickCount();
    PumpUntil([&] { return GetTickCount() - start >= ms; });
}

class CountedWrkThread : public CWrkThread {
  public:
    CountedWrkThread() { InterlockedIncrement(&s_nAlive); }
    ~CountedWrkThread() override { InterlockedDecrement(&s_nAlive); }
    static LONG s_nAlive;
};
LONG CountedWrkThread::s_nAlive = 0;

class WorkerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_ledger.live.clear();
        g_ledger.nBadFrees = g_ledger.nResultsMade = g_ledger.nAllocsToFail = 0;
        g_ledger.nJobsFreedByWorker = g_ledger.nResultsFreedByWorker = 0;
        g_results.clear();
        g_captions.clear();
        g_onCaption = nullptr;
        g_pfnWrkRecordAlloc = WorkerAlloc;
        g_pfnWrkRecordFree = WorkerFree;

        SetEnvironmentVariableA("HALVOK_FAKEARC_LOG", m_sLog.c_str());
        SetEnvironmentVariableA("HALVOK_FAKEARC_SLEEP_MS", nullptr);
        SetEnvironmentVariableA("HALVOK_FAKEARC_EXIT", nullptr);
        SetEnvironmentVariableA("HALVOK_FAKEARC_RULES", nullptr);
        snprintf(g_szArcExe, sizeof g_szArcExe, "%sfakearc.exe", ProgramDir().c_str());
        snprintf(g_szArcCmd, sizeof g_szArcCmd, " \"%%s\" \"%%s\" \"%%s\"");
        g_bHidden = 1;

        WNDCLASSA wc{};
        wc.lpfnWndProc = TestWndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "HalvokWorkerTestWindow";
        RegisterClassA(&wc); // fails harmlessly when already registered
        m_hWnd = CreateWindowA(wc.lpszClassName, "idle", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                               nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(m_hWnd, nullptr);
        g_hMainWnd = m_hWnd;
        g_hRunMutex = CreateMutexA(nullptr, TRUE, nullptr);
        ASSERT_NE(g_hRunMutex, nullptr);
        m_bOwnMutex = true;

        CWrkThread* pWorker = AfxBeginThread<CountedWrkThread>();
        ASSERT_NE(pWorker, nullptr);
        m_hWorker = pWorker->DuplicateThreadHandle();
        m_nWorkerID = pWorker->m_nThreadID;
        Post(WM_COMMAND, WRK_CMD_NUDGE, 0); // as at start-up
    }

    void TearDown() override {
        StopWorker();
        PumpFor(20); // results posted just before the end
        DestroyWindow(m_hWnd);
        while (!IntakeGateIsOpen())
            IntakeGateOpen();
        // The worker left the mutex free (not abandoned) when it ended.
        EXPECT_EQ(WaitForSingleObject(g_hRunMutex, 0), WAIT_OBJECT_0);
        ReleaseMutex(g_hRunMutex);
        CloseHandle(g_hRunMutex);
        g_hRunMutex = nullptr;
        g_hMainWnd = nullptr;

        EXPECT_TRUE(g_ledger.live.empty()) << "a job or result was not freed";
        EXPECT_EQ(g_ledger.nBadFrees, 0) << "a record was freed twice or was not one";
        EXPECT_EQ(CountedWrkThread::s_nAlive, 0) << "the worker object outlived its thread";
    }

    // Shutdown in the application's order: release the run mutex, post the
    // quit command, wait for the thread.
    void StopWorker() {
        if (!m_hWorker)
            return;
        BeginShutdown();
        Post(WM_COMMAND, WRK_CMD_QUIT, 0);
        EXPECT_TRUE(PumpUntil([&] { return WaitForSingleObject(m_hWorker, 0) == WAIT_OBJECT_0; }))
            << "the worker did not end";
        CloseHandle(m_hWorker);
        m_hWorker = nullptr;
    }

    void BeginShutdown() {
        if (m_bOwnMutex)
            ReleaseMutex(g_hRunMutex);
        m_bOwnMutex = false;
    }

    void Post(UINT uMsg, WPARAM wParam, LPARAM lParam) {
        EXPECT_TRUE(PostThreadMessageA(m_nWorkerID, uMsg, wParam, lParam));
    }
    void PostJob(const std::string& path, int bFixHtml, int bArchive) {
        Post(WM_COMMAND, WRK_CMD_JOB, reinterpret_cast<LPARAM>(NewJob(path, bFixHtml, bArchive)));
    }
    std::string MakePage(const std::string& name) { return m_dir.File(name, kPage); }
    static bool WaitResults(size_t nCount) {
        return PumpUntil([&] { return g_results.size() >= nCount; });
    }
    // The stand-in archiver got this exact path as one of its arguments.
    bool Archived(const std::string& path) const {
        return ReadBytes(m_sLog).find("\"" + path + "\"") != std::string::npos;
    }

    ScratchDir m_dir{"worker"};    // the pages
    ScratchDir m_logDir{"arclog"}; // the stand-in archiver's record
    std::string m_sLog = m_logDir / "arc.log";
    HWND m_hWnd = nullptr;
    HANDLE m_hWorker = nullptr;
    DWORD m_nWorkerID = 0;
    bool m_bOwnMutex = false;
};

TEST_F(WorkerTest, FlagsDecideTheStatus) {
    SetEnvironmentVariableA("HALVOK_FAKEARC_EXIT", "3");
    SetEnvironmentVariableA("HALVOK_FAKEARC_RULES", "zero.htm=0");
    const struct {
        const char* stem;
        int bFixHtml, bArchive;
        int nStatus;
    } rows[] = {
        {"none", 0, 0, STATUS_NO_ACTION}, {"fix", 1, 0, STATUS_OK}, {"arc", 0, 1, 3},
        {"both", 1, 1, 3}, {"zero", 1, 1, STATUS_OK}, // the archiver's 0
    };
    for (const auto& row : rows)
        PostJob(MakePage(std::string(row.stem) + ".html"), row.bFixHtml, row.bArchive);
    ASSERT_TRUE(WaitResults(std::size(rows)));

    for (size_t i = 0; i < std::size(rows); ++i) {
        std::string name = std::string(rows[i].stem) + ".htm";
        SCOPED_TRACE(name);
        EXPECT_EQ(g_results[i].name, name);
        EXPECT_EQ(g_results[i].nStatus, rows[i].nStatus);
        EXPECT_TRUE(g_results[i].bZeroTail);
        EXPECT_EQ(ReadBytes(m_dir / name), rows[i].bFixHtml ? kRepaired : kPage);
        EXPECT_EQ(Archived(m_dir / name), rows[i].bArchive != 0);
    }
}

TEST_F(WorkerTest, PagesGetTheHtmExtensionUnlessTheNameIsTaken) {
    const struct {
        const char* from;
        const char* to; // the name afterwards, and in the result
    } rows[] = {
        {"a\\news.html", "news.htm"}, {"b\\news.HTML", "news.htm"}, {"c\\news.shtml", "news.htm"},
        {"d\\page.HTM", "page.HTM"},  {"e\\page.html", "page.html"}, // page.htm lies beside it
    };
    const std::string kBeside = "the other page";
    for (const char* folder : {"a", "b", "c", "d", "e"})
        m_dir.Folder(folder);
    m_dir.File("e\\page.htm", kBeside);
    for (const auto& row : rows)
        PostJob(MakePage(row.from), 1, 1);
    ASSERT_TRUE(WaitResults(std::size(rows)));

    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].from);
        const std::string folder = m_dir / std::string(rows[i].from, 1);
        const std::string path = folder + "\\" + rows[i].to;
        EXPECT_EQ(g_results[i].name, rows[i].to);
        std::vector<std::string> expected{rows[i].to};
        if (i == 4)
            expected.insert(expected.begin(), "page.htm");
        EXPECT_EQ(ListFolder(folder), expected);
        EXPECT_EQ(ReadBytes(path), kRepaired);
        EXPECT_TRUE(Archived(path));
    }
    EXPECT_EQ(ReadBytes(m_dir / "e\\page.htm"), kBeside);
}

TEST_F(WorkerTest, CaptionNamesEachPageBetweenItsRenameAndItsRepair) {
    std::vector<std::string> seen;
    // The worker waits while the caption is set, so the page is caught
    // exactly between its rename and its repair.
    g_onCaption = [&](const std::string& caption) {
        const std::string path = m_dir / caption;
        seen.push_back(caption + (Exists(path + "l") ? " not renamed" : "") +
                       (ReadBytes(path) == kPage ? "" : " repaired") +
                       (Archived(path) ? " archived" : ""));
    };
    const std::vector<std::string> names{"n0.htm", "n1.htm", "n2.htm"};
    for (const std::string& name : names)
        PostJob(MakePage(name + "l"), 1, 1);
    ASSERT_TRUE(WaitResults(names.size()));

    EXPECT_EQ(seen, names);
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(g_results[i].name, names[i]);
    char szCaption[64] = "";
    GetWindowTextA(m_hWnd, szCaption, sizeof szCaption);
    EXPECT_STREQ(szCaption, "n2.htm");
}

TEST_F(WorkerTest, QueuedJobsAreDroppedOnceShutdownBegins) {
    IntakeGateClose();
    for (const char* name : {"d0.html", "d1.html", "d2.html"})
        PostJob(MakePage(name), 1, 1);
    BeginShutdown();
    IntakeGateOpen();
    StopWorker();
    PumpFor(100);

    EXPECT_TRUE(g_results.empty());
    EXPECT_TRUE(g_captions.empty());
    EXPECT_EQ(ListFolder(m_dir.Path()), (std::vector<std::string>{"d0.html", "d1.html", "d2.html"}));
    EXPECT_EQ(ReadBytes(m_dir / "d0.html"), kPage);
    EXPECT_EQ(g_ledger.nJobsFreedByWorker, 3);
    EXPECT_EQ(g_ledger.nResultsMade, 0);
}

TEST_F(WorkerTest, JobUnderWayFinishesAndItsResultIsFreedWhenTheWindowIsGone) {
    SetEnvironmentVariableA("HALVOK_FAKEARC_SLEEP_MS", "800");
    for (const char* name : {"w0.html", "w1.html", "w2.html"})
        PostJob(MakePage(name), 1, 1);
    ASSERT_TRUE(PumpUntil([] { return !g_captions.empty(); }));
    // The first page is now on its way to the archiver: close the window.
    BeginShutdown();
    DestroyWindow(m_hWnd);
    StopWorker();

    EXPECT_EQ(ListFolder(m_dir.Path()), (std::vector<std::string>{"w0.htm", "w1.html", "w2.html"}));
    EXPECT_EQ(ReadBytes(m_dir / "w0.htm"), kRepaired);
    EXPECT_EQ(ReadBytes(m_dir / "w1.html"), kPage);
    EXPECT_EQ(CountLines(ReadBytes(m_sLog)), 1);
    EXPECT_TRUE(Archived(m_dir / "w0.htm"));
    EXPECT_EQ(g_ledger.nResultsMade, 1);
    EXPECT_EQ(g_ledger.nResultsFreedByWorker, 1);
    EXPECT_EQ(g_ledger.nJobsFreedByWorker, 3);
}

// The job under way finishes while the gate is closed; the batch behind it
// waits at the gate and runs once it opens.
TEST_F(WorkerTest, GateHoldsABatchUntilItOpens) {
    SetEnvironmentVariableA("HALVOK_FAKEARC_SLEEP_MS", "500");
    PostJob(MakePage("g0.html"), 0, 1);
    ASSERT_TRUE(PumpUntil([] { return !g_captions.empty(); }));
    IntakeGateClose();
    PostJob(MakePage("g1.html"), 0, 0);
    PostJob(MakePage("g2.html"), 0, 0);
    ASSERT_TRUE(WaitResults(1));
    PumpFor(300);
    EXPECT_EQ(g_captions, std::vector<std::string>{"g0.htm"});
    EXPECT_EQ(g_results.size(), 1u);
    EXPECT_EQ(ListFolder(m_dir.Path()), (std::vector<std::string>{"g0.htm", "g1.html", "g2.html"}));

    IntakeGateOpen();
    ASSERT_TRUE(WaitResults(3));
    EXPECT_EQ(g_results[1].name, "g1.htm");
    EXPECT_EQ(g_results[2].name, "g2.htm");
}

TEST_F(WorkerTest, OtherCommandsAndMessagesAreIgnored) {
    // Each stray message carries a job for a real page; handling any of them
    // as a job would rename, repair and archive that page, and taking one
    // for the quit command would end the worker before the real job.
    const std::string decoy = MakePage("decoy.html");
    std::vector<std::pair<UINT, WPARAM>> strays = {
        {WM_COMMAND, 0},
        {WM_COMMAND, 7},
        {WM_COMMAND, WRK_CMD_NUDGE},
        {WM_COMMAND, MAKEWPARAM(WRK_CMD_JOB, 1)},
        {WM_COMMAND, MAKEWPARAM(WRK_CMD_QUIT, 1)},
        {WM_APP, WRK_CMD_JOB},
    };
    if constexpr (sizeof(WPARAM) > 4)
        strays.push_back({WM_COMMAND, static_cast<WPARAM>((1ULL << 32) | WRK_CMD_JOB)});
    std::vector<WrkJob*> jobs;
    for (const auto& stray : strays) {
        jobs.push_back(NewJob(decoy, 1, 1));
        Post(stray.first, stray.second, reinterpret_cast<LPARAM>(jobs.back()));
    }
    PostJob(MakePage("real.html"), 0, 0);
    ASSERT_TRUE(WaitResults(1));
    StopWorker();
    PumpFor(50);

    EXPECT_EQ(g_results.size(), 1u);
    EXPECT_EQ(g_captions, std::vector<std::string>{"real.htm"});
    EXPECT_EQ(ReadBytes(decoy), kPage);
    EXPECT_EQ(ReadBytes(m_sLog), "");
    EXPECT_EQ(g_ledger.nJobsFreedByWorker, 1);
    std::lock_guard<std::mutex> guard(g_ledger.lock);
    for (WrkJob* pJob : jobs)
        Forget(pJob, false); // a bad free here if the worker had freed it
}

TEST_F(WorkerTest, JobWithoutRoomForItsResultIsFreedUntouched) {
    g_ledger.nAllocsToFail = 1;
    PostJob(MakePage("f0.html"), 1, 1);
    PostJob(MakePage("f1.html"), 1, 1);
    ASSERT_TRUE(WaitResults(1));
    StopWorker();

    EXPECT_EQ(g_captions, std::vector<std::string>{"f1.htm"});
    EXPECT_EQ(g_results.size(), 1u);
    EXPECT_EQ(ReadBytes(m_dir / "f0.html"), kPage);
    EXPECT_FALSE(Archived(m_dir / "f0.html"));
    EXPECT_EQ(g_ledger.nJobsFreedByWorker, 2);
}

TEST(IntakeGate, OpensWhenEveryCloseIsMatched) {
    ASSERT_TRUE(IntakeGateIsOpen());
    IntakeGateClose();
    IntakeGateClose();
    IntakeGateOpen();
    EXPECT_FALSE(IntakeGateIsOpen());
    IntakeGateOpen();
    EXPECT_TRUE(IntakeGateIsOpen());
    IntakeGateOpen(); // unmatched: must not leave the gate unclosable
    IntakeGateClose();
    EXPECT_FALSE(IntakeGateIsOpen());
    IntakeGateOpen();
}

} // namespace
