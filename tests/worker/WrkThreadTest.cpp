// The worker thread against real files, the stand-in archiver and a real
// window of the test that receives the results. Every test ends with the
// shutdown the application performs and a check of the record ledger: no job
// or result left alive, none freed twice, the worker object gone.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iterator>

#include "app/Globals.h"
#include "app/Settings.h"
#include "tests/worker/WorkerRig.h"
#include "worker/IntakeGate.h"
#include "worker/WrkThread.h"

namespace {

// One escaped reference; the repair turns %41 into A.
const std::string kPage = "<html><body><img src=\"news_files/%41.png\"></body></html>";
const std::string kRepaired = "<html><body><img src=\"news_files/A.png\"></body></html>";

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
        Ledger::Reset();
        m_pfnOldAlloc = g_pfnWrkRecordAlloc;
        m_pfnOldFree = g_pfnWrkRecordFree;
        g_pfnWrkRecordAlloc = Ledger::WorkerAlloc;
        g_pfnWrkRecordFree = Ledger::WorkerFree;

        m_sLog = m_logDir / "arc.log";
        SetEnvironmentVariableA("HALVOK_FAKEARC_LOG", m_sLog.c_str());
        for (const char* pszName :
             {"HALVOK_FAKEARC_SLEEP_MS", "HALVOK_FAKEARC_EXIT", "HALVOK_FAKEARC_RULES"})
            SetEnvironmentVariableA(pszName, nullptr);
        SetArchiver(ProgramDir() + "fakearc.exe");
        snprintf(g_szArcCmd, sizeof g_szArcCmd, " \"%%s\" \"%%s\" \"%%s\"");
        g_bHidden = 1;

        ASSERT_NE(m_window.Handle(), nullptr);
        g_hMainWnd = m_window.Handle();
        g_hRunMutex = CreateMutexA(nullptr, TRUE, nullptr);
        ASSERT_NE(g_hRunMutex, nullptr);
        m_bOwnMutex = true;

        CWrkThread* pWorker = AfxBeginThread<CountedWrkThread>();
        ASSERT_NE(pWorker, nullptr);
        m_hWorker = pWorker->DuplicateThreadHandle();
        m_nWorkerID = pWorker->m_nThreadID;
        ASSERT_NE(m_hWorker, nullptr);
        Post(WM_COMMAND, WRK_CMD_NUDGE, 0); // as at start-up
    }

    void TearDown() override {
        StopWorker();
        PumpFor(20); // results posted just before the end
        m_window.Destroy();
        while (!IntakeGateIsOpen())
            IntakeGateOpen();
        // The worker left the mutex free (not abandoned) when it ended.
        EXPECT_EQ(WaitForSingleObject(g_hRunMutex, 0), WAIT_OBJECT_0);
        ReleaseMutex(g_hRunMutex);
        CloseHandle(g_hRunMutex);
        g_hRunMutex = nullptr;
        g_hMainWnd = nullptr;

        EXPECT_EQ(Ledger::LiveRecords(), 0) << "a job or result was not freed";
        EXPECT_EQ(Ledger::BadFrees(), 0) << "a record was freed twice or was not one";
        EXPECT_EQ(CountedWrkThread::s_nAlive, 0) << "the worker object outlived its thread";
        g_pfnWrkRecordAlloc = m_pfnOldAlloc;
        g_pfnWrkRecordFree = m_pfnOldFree;
    }

    // Shutdown in the application's order: release the run mutex, post the
    // quit command, wait for the thread.
    void StopWorker() {
        if (!m_hWorker)
            return;
        BeginShutdown();
        Post(WM_COMMAND, WRK_CMD_QUIT, 0);
        EXPECT_TRUE(PumpWait(m_hWorker)) << "the worker did not end";
        CloseHandle(m_hWorker);
        m_hWorker = nullptr;
    }

    void BeginShutdown() {
        if (m_bOwnMutex)
            ReleaseMutex(g_hRunMutex);
        m_bOwnMutex = false;
    }

    static void SetArchiver(const std::string& path) {
        snprintf(g_szArcExe, sizeof g_szArcExe, "%s", path.c_str());
    }

    void Post(UINT uMsg, WPARAM wParam, LPARAM lParam) {
        EXPECT_TRUE(PostThreadMessageA(m_nWorkerID, uMsg, wParam, lParam));
    }

    void PostJob(const std::string& path, int bFixHtml, int bArchive) {
        Post(WM_COMMAND, WRK_CMD_JOB,
             reinterpret_cast<LPARAM>(Ledger::NewJob(path, bFixHtml, bArchive)));
    }

    bool WaitResults(size_t nCount) {
        return PumpUntil([&] { return m_window.Results().size() >= nCount; });
    }

    // The stand-in archiver got this exact path as one of its arguments.
    bool Archived(const std::string& path) const {
        return ReadBytes(m_sLog).find("\"" + path + "\"") != std::string::npos;
    }

    std::string MakePage(const std::string& name, const std::string& bytes = kPage) {
        std::string path = m_dir / name;
        EXPECT_TRUE(WriteBytes(path, bytes));
        return path;
    }

    ScratchDir m_dir{"worker"};    // the pages
    ScratchDir m_logDir{"arclog"}; // the stand-in archiver's record
    TestWindow m_window;
    std::string m_sLog;
    HANDLE m_hWorker = nullptr;
    DWORD m_nWorkerID = 0;
    bool m_bOwnMutex = false;
    WrkRecordAllocFn m_pfnOldAlloc = nullptr;
    WrkRecordFreeFn m_pfnOldFree = nullptr;
};

TEST_F(WorkerTest, FlagsDecideTheStatus) {
    SetEnvironmentVariableA("HALVOK_FAKEARC_EXIT", "3");
    SetEnvironmentVariableA("HALVOK_FAKEARC_RULES", "zero.htm=0");
    struct Row {
        const char* stem;
        int bFixHtml, bArchive;
        int nStatus;
    };
    const Row rows[] = {
        {"none", 0, 0, STATUS_NO_ACTION},
        {"fix", 1, 0, STATUS_OK},
        {"arc", 0, 1, 3},
        {"both", 1, 1, 3},
        {"zero", 1, 1, STATUS_OK}, // the archiver's 0
    };
    for (const Row& row : rows)
        PostJob(MakePage(std::string(row.stem) + ".html"), row.bFixHtml, row.bArchive);
    ASSERT_TRUE(WaitResults(std::size(rows)));

    auto results = m_window.Results();
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        std::string name = std::string(row.stem) + ".htm";
        SCOPED_TRACE(name);
        EXPECT_EQ(results[i].name, name);
        EXPECT_EQ(results[i].nStatus, row.nStatus);
        EXPECT_TRUE(results[i].bZeroTail);
        EXPECT_EQ(ReadBytes(m_dir / name), row.bFixHtml ? kRepaired : kPage);
        EXPECT_EQ(Archived(m_dir / name), row.bArchive != 0);
    }
}

TEST_F(WorkerTest, ArchiverThatCannotStartReplacesTheRepairStatus) {
    SetArchiver(m_dir / "missing.exe");
    PostJob(MakePage("page.htm"), 1, 1);
    ASSERT_TRUE(WaitResults(1));
    EXPECT_EQ(m_window.Results()[0].nStatus, STATUS_NO_ARCHIVER);
    EXPECT_EQ(ReadBytes(m_dir / "page.htm"), kRepaired);
}

TEST_F(WorkerTest, PagesGetTheHtmExtensionUnlessTheNameIsTaken) {
    struct Row {
        const char* folder;
        const char* file;
        const char* expected; // the name afterwards, and in the result
        bool bHtmBeside;      // a page.htm already lies beside it
        int bFixHtml, bArchive;
    };
    const Row rows[] = {
        {"a", "news.html", "news.htm", false, 1, 1},   {"b", "news.HTML", "news.htm", false, 1, 1},
        {"c", "news.shtml", "news.htm", false, 1, 1},  {"d", "page.HTM", "page.HTM", false, 1, 1},
        {"e", "PAGE.HTML", "PAGE.htm", false, 1, 1},   {"f", "page.html", "page.html", true, 1, 1},
        {"g", "plain.html", "plain.htm", false, 0, 0}, // renamed though no action
    };
    const std::string kBeside = "the other page";
    for (const Row& row : rows) {
        std::string folder = m_dir / row.folder;
        CreateDirectoryA(folder.c_str(), nullptr);
        if (row.bHtmBeside)
            WriteBytes(folder + "\\page.htm", kBeside);
        std::string path = folder + "\\" + row.file;
        ASSERT_TRUE(WriteBytes(path, kPage));
        PostJob(path, row.bFixHtml, row.bArchive);
    }
    ASSERT_TRUE(WaitResults(std::size(rows)));

    auto results = m_window.Results();
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(std::string(row.folder) + "\\" + row.file);
        std::string folder = m_dir / row.folder;
        std::string path = folder + "\\" + row.expected;
        EXPECT_EQ(results[i].name, row.expected);
        std::vector<std::string> expected = {row.expected};
        if (row.bHtmBeside)
            expected = {"page.htm", row.expected};
        EXPECT_EQ(ListFolder(folder), expected);
        EXPECT_EQ(ReadBytes(path), row.bFixHtml ? kRepaired : kPage);
        EXPECT_EQ(Archived(path), row.bArchive != 0);
        if (row.bHtmBeside) {
            EXPECT_EQ(ReadBytes(folder + "\\page.htm"), kBeside);
        }
    }
}

TEST_F(WorkerTest, CaptionNamesEachPageBeforeItIsRepairedAndArchivedInPostingOrder) {
    struct Seen {
        std::string caption;
        bool bRenamed, bUnrepaired, bUnarchived;
    };
    std::vector<Seen> seen;
    // The worker waits while the caption is set, so the page is caught
    // exactly between its rename and its repair.
    m_window.onCaption = [&](const std::string& caption) {
        std::string path = m_dir / caption;
        std::string oldPath = path + "l"; // n0.htm was n0.html
        bool bRenamed = GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES &&
                        GetFileAttributesA(oldPath.c_str()) == INVALID_FILE_ATTRIBUTES;
        seen.push_back({caption, bRenamed, ReadBytes(path) == kPage, !Archived(path)});
    };
    const int kJobs = 5;
    for (int i = 0; i < kJobs; ++i)
        PostJob(MakePage("n" + std::to_string(i) + ".html"), 1, 1);
    ASSERT_TRUE(WaitResults(kJobs));

    auto results = m_window.Results();
    ASSERT_EQ(seen.size(), size_t(kJobs));
    const auto& events = m_window.Events();
    for (int i = 0; i < kJobs; ++i) {
        std::string name = "n" + std::to_string(i) + ".htm";
        SCOPED_TRACE(name);
        EXPECT_EQ(results[i].name, name);
        EXPECT_EQ(seen[i].caption, name);
        EXPECT_TRUE(seen[i].bRenamed);
        EXPECT_TRUE(seen[i].bUnrepaired);
        EXPECT_TRUE(seen[i].bUnarchived);
        // The caption comes before the result of the same page.
        size_t nCaption = 0, nResult = 0;
        for (size_t k = 0; k < events.size(); ++k) {
            if (events[k].name != name)
                continue;
            (events[k].bResult ? nResult : nCaption) = k + 1;
        }
        EXPECT_LT(nCaption, nResult);
    }
    char szCaption[64] = "";
    GetWindowTextA(m_window.Handle(), szCaption, sizeof szCaption);
    EXPECT_STREQ(szCaption, "n4.htm");
}

TEST_F(WorkerTest, QueuedJobsAreDroppedOnceShutdownBegins) {
    IntakeGateClose();
    for (int i = 0; i < 3; ++i)
        PostJob(MakePage("d" + std::to_string(i) + ".html"), 1, 1);
    BeginShutdown();
    IntakeGateOpen();
    StopWorker();
    PumpFor(100);

    EXPECT_TRUE(m_window.Events().empty());
    EXPECT_EQ(ListFolder(m_dir.Path()),
              (std::vector<std::string>{"d0.html", "d1.html", "d2.html"}));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ReadBytes(m_dir / ("d" + std::to_string(i) + ".html")), kPage);
    EXPECT_EQ(Ledger::JobsFreedByWorker(), 3);
    EXPECT_EQ(Ledger::ResultsMade(), 0);
}

TEST_F(WorkerTest, JobUnderWayFinishesAndItsResultIsFreedWhenTheWindowIsGone) {
    SetEnvironmentVariableA("HALVOK_FAKEARC_SLEEP_MS", "800");
    for (int i = 0; i < 3; ++i)
        PostJob(MakePage("w" + std::to_string(i) + ".html"), 1, 1);
    ASSERT_TRUE(PumpUntil([&] { return !m_window.Captions().empty(); }));
    // The first page is now on its way to the archiver: close the window.
    BeginShutdown();
    m_window.Destroy();
    StopWorker();

    EXPECT_EQ(ListFolder(m_dir.Path()), (std::vector<std::string>{"w0.htm", "w1.html", "w2.html"}));
    EXPECT_EQ(ReadBytes(m_dir / "w0.htm"), kRepaired);
    EXPECT_TRUE(Archived(m_dir / "w0.htm"));
    for (const char* name : {"w1.html", "w2.html"}) {
        EXPECT_EQ(ReadBytes(m_dir / name), kPage);
        EXPECT_EQ(ReadBytes(m_sLog).find("\\" + std::string(name, 2)), std::string::npos);
    }
    EXPECT_EQ(Ledger::ResultsMade(), 1);
    EXPECT_EQ(Ledger::ResultsFreedByWorker(), 1);
    EXPECT_EQ(Ledger::JobsFreedByWorker(), 3);
}

TEST_F(WorkerTest, GateHoldsABatchUntilItIsQueuedWhole) {
    IntakeGateClose();
    for (int i = 0; i < 3; ++i)
        PostJob(MakePage("g" + std::to_string(i) + ".html"), 0, 0);
    PumpFor(300);
    EXPECT_TRUE(m_window.Events().empty());
    EXPECT_EQ(ListFolder(m_dir.Path()),
              (std::vector<std::string>{"g0.html", "g1.html", "g2.html"}));

    IntakeGateOpen();
    ASSERT_TRUE(WaitResults(3));
    auto results = m_window.Results();
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(results[i].name, "g" + std::to_string(i) + ".htm");
}

TEST_F(WorkerTest, JobUnderWayFinishesWhileTheGateIsClosed) {
    SetEnvironmentVariableA("HALVOK_FAKEARC_SLEEP_MS", "500");
    PostJob(MakePage("u0.html"), 0, 1);
    ASSERT_TRUE(PumpUntil([&] { return !m_window.Captions().empty(); }));
    IntakeGateClose();
    PostJob(MakePage("u1.html"), 0, 0);
    ASSERT_TRUE(WaitResults(1));
    PumpFor(200);
    EXPECT_EQ(m_window.Captions(), std::vector<std::string>{"u0.htm"});
    EXPECT_EQ(m_window.Results().size(), 1u);

    IntakeGateOpen();
    ASSERT_TRUE(WaitResults(2));
    EXPECT_EQ(m_window.Results()[1].name, "u1.htm");
}

TEST_F(WorkerTest, OtherCommandsAndMessagesAreIgnored) {
    // Each stray message carries a job for a real page; handling any of them
    // as a job would rename, repair and archive that page.
    std::string decoy = MakePage("decoy.html");
    std::vector<std::pair<UINT, WPARAM>> strays = {
        {WM_COMMAND, 0},       {WM_COMMAND, 7},        {WM_COMMAND, WRK_CMD_NUDGE},
        {WM_COMMAND, 0x10001}, {WM_COMMAND, 0x10002},  {WM_USER + 1, WRK_CMD_JOB},
        {WM_APP, WRK_CMD_JOB}, {WM_NULL, WRK_CMD_JOB},
    };
    if constexpr (sizeof(WPARAM) > 4)
        strays.push_back({WM_COMMAND, static_cast<WPARAM>((1ULL << 32) | WRK_CMD_JOB)});
    std::vector<WrkJob*> jobs;
    for (const auto& stray : strays) {
        jobs.push_back(Ledger::NewJob(decoy, 1, 1));
        Post(stray.first, stray.second, reinterpret_cast<LPARAM>(jobs.back()));
    }
    PostJob(MakePage("real.html"), 0, 0);
    ASSERT_TRUE(WaitResults(1));
    StopWorker(); // ends only if no stray was taken for the quit command
    PumpFor(50);

    EXPECT_EQ(m_window.Results().size(), 1u);
    EXPECT_EQ(m_window.Captions(), std::vector<std::string>{"real.htm"});
    EXPECT_EQ(ReadBytes(decoy), kPage);
    EXPECT_EQ(ReadBytes(m_sLog), "");
    EXPECT_EQ(Ledger::JobsFreedByWorker(), 1);
    for (WrkJob* pJob : jobs)
        Ledger::FreeOwnJob(pJob); // a bad free here if the worker had freed it
}

TEST_F(WorkerTest, JobWithoutRoomForItsResultIsFreedUntouched) {
    Ledger::FailWorkerAllocs(1);
    PostJob(MakePage("f0.html"), 1, 1);
    PostJob(MakePage("f1.html"), 1, 1);
    ASSERT_TRUE(WaitResults(1));
    StopWorker();

    EXPECT_EQ(m_window.Captions(), std::vector<std::string>{"f1.htm"});
    EXPECT_EQ(m_window.Results().size(), 1u);
    EXPECT_EQ(ReadBytes(m_dir / "f0.html"), kPage);
    EXPECT_FALSE(Archived(m_dir / "f0.html"));
    EXPECT_EQ(Ledger::JobsFreedByWorker(), 2);
}

TEST(IntakeGate, ClosesNestAndOpensWhenEveryCloseIsMatched) {
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
    EXPECT_TRUE(IntakeGateIsOpen());
}

} // namespace
