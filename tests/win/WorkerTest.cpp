// The worker and the application's shutdown, with every job and result
// counted by the ledger: each ends freed exactly once, whatever becomes of it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "app/Globals.h"
#include "tests/win/WinRig.h"
#include "worker/IntakeGate.h"
#include "worker/WrkDefs.h"
#include "worker/WrkThread.h"

namespace {

const std::string kPage = "<html><body><img src=\"news_files/%41.png\"></body></html>";
const std::string kRepaired = "<html><body><img src=\"news_files/A.png\"></body></html>";

class WorkerTest : public testing::Test {
  protected:
    std::string Ini(const std::string& keys) {
        return m_dir.File("halvok.ini", "[Options]\r\nArc=" + ProgramDir() +
                                            "fakearc.exe\r\nCom=fakearc \"%s\"\r\n" + keys);
    }
    // Posts a job for the page straight to the worker.
    WrkJob* PostJob(UINT uMsg, WPARAM wParam, const std::string& page) {
        auto* pJob = static_cast<WrkJob*>(RecordLedger::Track(calloc(1, sizeof(WrkJob))));
        strcpy(pJob->szPath, page.c_str());
        PostThreadMessageA(g_pWrkThread->m_nThreadID, uMsg, wParam, reinterpret_cast<LPARAM>(pJob));
        return pJob;
    }
    int Archived() {
        std::string log = ReadBytes(m_dir / "arc.log");
        return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
    }

    ScratchDir m_dir{"worker"};
    RecordLedger m_ledger;
};

// The window is closed while the first of three pages is with the archiver:
// that page is finished and its result freed; the others are dropped.
TEST_F(WorkerTest, ShutdownFinishesTheJobUnderWayAndDropsTheQueuedOnes) {
    SetEnvironmentVariableA("HALVOK_FAKEARC_LOG", (m_dir / "arc.log").c_str());
    SetEnvironmentVariableA("HALVOK_FAKEARC_SLEEP_MS", "800");
    std::string tail;
    for (const char* name : {"w0.html", "w1.html", "w2.html"})
        tail += "\"" + m_dir.File(name, kPage) + "\" ";
    TestApp app(Ini("bArc=1\r\nbMSIE=1\r\n"), tail);
    ASSERT_TRUE(WaitFor([&] { return Archived() == 1; }));
    EXPECT_EQ(app.Shutdown(), 0);
    SetEnvironmentVariableA("HALVOK_FAKEARC_SLEEP_MS", nullptr);
    EXPECT_EQ(ReadBytes(m_dir / "w0.htm"), kRepaired);
    EXPECT_EQ(ReadBytes(m_dir / "w1.html"), kPage);
    EXPECT_EQ(ReadBytes(m_dir / "w2.html"), kPage);
    EXPECT_EQ(Archived(), 1);
    EXPECT_EQ(g_hRunMutex, nullptr);
    EXPECT_EQ(RecordLedger::Alive(), 0);
    EXPECT_EQ(RecordLedger::BadFrees(), 0);
}

// A result posted just before the window goes is freed with the window: the
// system drops the messages of a destroyed window without freeing them.
TEST_F(WorkerTest, ResultsLeftInTheQueueAtCloseAreFreed) {
    TestApp app(Ini(""), "");
    app.OnDialogThread([] {
        auto* pResult = RecordLedger::Track(calloc(1, sizeof(WrkResult)));
        PostMessageA(g_hMainWnd, WM_COMMAND, ID_JOB_DONE, reinterpret_cast<LPARAM>(pResult));
        SendMessageA(g_hMainWnd, WM_COMMAND, IDCANCEL, 0);
    });
    app.Shutdown();
    EXPECT_EQ(RecordLedger::Alive(), 0);
    EXPECT_EQ(RecordLedger::BadFrees(), 0);
}

// Each stray message carries a job for a real page: taking any for a job
// would touch the page, taking one for the quit command would end the
// worker before the real job, and freeing its job is a bad free below.
TEST_F(WorkerTest, OtherCommandsAndMessagesAreIgnored) {
    TestApp app(Ini(""), "");
    const std::string decoy = m_dir.File("decoy.html", kPage);
    std::vector<WrkJob*> decoys;
    for (const auto& stray : {std::make_pair(UINT(WM_COMMAND), WPARAM(7)),
                              {WM_COMMAND, WRK_CMD_NUDGE},
                              {WM_COMMAND, MAKEWPARAM(WRK_CMD_JOB, 1)},
                              {WM_COMMAND, MAKEWPARAM(WRK_CMD_QUIT, 1)},
                              {WM_APP, WRK_CMD_JOB}})
        decoys.push_back(PostJob(stray.first, stray.second, decoy));
    PostJob(WM_COMMAND, WRK_CMD_JOB, m_dir.File("real.html", kPage));
    ASSERT_TRUE(WaitFor([&] { return app.Lines().size() == 1; }));
    EXPECT_EQ(ReadBytes(decoy), kPage);
    for (WrkJob* pJob : decoys)
        g_pfnWrkRecordFree(pJob);
    app.Shutdown();
    EXPECT_EQ(RecordLedger::Alive(), 0);
    EXPECT_EQ(RecordLedger::BadFrees(), 0);
}

// A batch being queued holds the worker before its next job.
TEST_F(WorkerTest, GateHoldsABatchUntilItOpens) {
    TestApp app(Ini("bArc=0\r\nbMSIE=0\r\n"), "");
    IntakeGateClose();
    PostJob(WM_COMMAND, WRK_CMD_JOB, m_dir.File("g0.html", kPage));
    PostJob(WM_COMMAND, WRK_CMD_JOB, m_dir.File("g1.html", kPage));
    Sleep(300);
    EXPECT_TRUE(app.Lines().empty());
    EXPECT_EQ(ReadBytes(m_dir / "g0.html"), kPage);
    IntakeGateOpen();
    ASSERT_TRUE(WaitFor([&] { return app.Lines().size() == 2; }));
    EXPECT_EQ(ReadBytes(m_dir / "g1.htm"), kPage);
}

} // namespace
