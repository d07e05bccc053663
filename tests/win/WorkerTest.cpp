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

// Refuses the quit command three times as a full queue does: a long batch
// keeps the worker's queue at the system's limit.
int g_nQuitRefusals;
BOOL WINAPI RefuseQuitThrice(DWORD idThread, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (wParam == WRK_CMD_QUIT && g_nQuitRefusals < 3) {
        ++g_nQuitRefusals;
        SetLastError(ERROR_NOT_ENOUGH_QUOTA);
        return FALSE;
    }
    return PostThreadMessageA(idThread, uMsg, wParam, lParam);
}

class WorkerTest : public testing::Test {
  protected:
    // Posts a job for the page straight to the worker, no action asked.
    WrkJob* PostJob(const std::string& page, UINT uMsg = WM_COMMAND, WPARAM wParam = WRK_CMD_JOB) {
        auto* pJob = static_cast<WrkJob*>(RecordLedger::Track(calloc(1, sizeof(WrkJob))));
        wcscpy(pJob->szPath, Wide(page).c_str());
        PostThreadMessageA(g_pWrkThread->m_nThreadID, uMsg, wParam, (LPARAM)pJob);
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
// that page is finished and its result freed; the others are dropped. The
// quit command gets through a queue that refuses it at first.
TEST_F(WorkerTest, ShutdownFinishesTheJobUnderWayAndDropsTheQueuedOnes) {
    SetEnvironmentVariableA("HALVOK_FAKEARC_LOG", (m_dir / "arc.log").c_str());
    SetEnvironmentVariableA("HALVOK_FAKEARC_SLEEP_MS", "800");
    std::string tail;
    for (const char* name : {"w0.html", "w1.html", "w2.html"})
        tail += "\"" + m_dir.File(name, kPage) + "\" ";
    TestApp app(m_dir.Ini("bArc=1\r\nbMSIE=1\r\n"), tail);
    ASSERT_TRUE(WaitFor([&] { return Archived() == 1; }));
    g_nQuitRefusals = 0;
    g_pfnPostWorkerMessage = RefuseQuitThrice;
    EXPECT_EQ(app.Shutdown(), 0);
    g_pfnPostWorkerMessage = PostThreadMessageA;
    EXPECT_EQ(g_nQuitRefusals, 3);
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
    TestApp app(m_dir.Ini(""), "");
    app.OnDialogThread([] {
        auto* pResult = RecordLedger::Track(calloc(1, sizeof(WrkResult)));
        PostMessageA(g_hMainWnd, WM_COMMAND, ID_JOB_DONE, reinterpret_cast<LPARAM>(pResult));
        SendMessageA(g_hMainWnd, WM_COMMAND, IDCANCEL, 0);
    });
    app.Shutdown();
    EXPECT_EQ(RecordLedger::Alive(), 0);
    EXPECT_EQ(RecordLedger::BadFrees(), 0);
}

// A batch being queued holds the worker before its next job. Messages that
// are not job commands (another command, a notification code in the high
// word, another message) carry a job too: taking one would touch its page,
// and freeing it would be a bad free.
TEST_F(WorkerTest, GateHoldsABatchUntilItOpensAndOtherMessagesAreIgnored) {
    TestApp app(m_dir.Ini("bArc=0\r\nbMSIE=0\r\n"), "");
    IntakeGateClose();
    PostJob(m_dir.File("g0.html", kPage));
    const std::string decoy = m_dir.File("decoy.html", kPage);
    WrkJob* strays[] = {PostJob(decoy, WM_COMMAND, 7), PostJob(decoy, WM_COMMAND, 0x10001),
                        PostJob(decoy, WM_APP)};
    PostJob(m_dir.File("g1.html", kPage));
    Sleep(300);
    EXPECT_TRUE(app.Lines().empty());
    EXPECT_EQ(ReadBytes(m_dir / "g0.html"), kPage);
    IntakeGateOpen();
    ASSERT_TRUE(WaitFor([&] { return app.Lines().size() == 2; }));
    EXPECT_EQ(ReadBytes(m_dir / "g1.htm"), kPage);
    EXPECT_EQ(ReadBytes(decoy), kPage);
    for (WrkJob* pJob : strays)
        g_pfnWrkRecordFree(pJob);
    app.Shutdown();
    EXPECT_EQ(RecordLedger::BadFrees(), 0);
}

} // namespace
