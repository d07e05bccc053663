// The application's shutdown: the run mutex released before the worker is
// told to quit, the job under way finished, the jobs behind it dropped, and
// the steps for a mutex or worker that a failed start never made skipped.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/Globals.h"
#include "app/MainApp.h"
#include "app/Settings.h"
#include "tests/helpers/WinScratch.h"
#include "worker/WrkDefs.h"
#include "worker/WrkThread.h"

TEST(Shutdown, AfterAFailedStartSkipsWhatWasNeverMade) {
    for (bool bMutexMade : {false, true}) {
        CMainApp app;
        g_pWrkThread = nullptr;
        g_hRunMutex = bMutexMade ? CreateMutexA(nullptr, TRUE, nullptr) : nullptr;
        EXPECT_EQ(app.ExitInstance(), 0) << bMutexMade;
        EXPECT_EQ(g_hRunMutex, nullptr) << bMutexMade;
    }
}

TEST(Shutdown, FinishesTheJobUnderWayAndDropsTheQueuedOnes) {
    ScratchDir dir("shutdown");
    const std::string log = dir / "arc.log";
    EnvVar logVar("HALVOK_FAKEARC_LOG", log);
    EnvVar sleepVar("HALVOK_FAKEARC_SLEEP_MS", "1500");
    strcpy(g_szArcExe, (ProgramDir() + "fakearc.exe").c_str());
    strcpy(g_szArcCmd, " fakearc \"%s\"");
    g_bHidden = 1;
    g_hMainWnd = nullptr; // no window: the worker frees the results itself

    CMainApp app;
    g_hRunMutex = CreateMutexA(nullptr, TRUE, nullptr);
    g_pWrkThread = AfxBeginThread<CWrkThread>();
    ASSERT_NE(g_pWrkThread, nullptr);
    HANDLE hWorker = g_pWrkThread->DuplicateThreadHandle();
    for (const char* name : {"p0.htm", "p1.htm", "p2.htm"}) {
        auto* pJob = static_cast<WrkJob*>(calloc(1, sizeof(WrkJob)));
        strcpy(pJob->szPath, dir.File(name).c_str());
        pJob->bArchive = 1;
        PostThreadMessageA(g_pWrkThread->m_nThreadID, WM_COMMAND, WRK_CMD_JOB, (LPARAM)pJob);
    }
    // The first archiver is running when the window goes away.
    ASSERT_TRUE(WaitFor([&] { return CountLines(ReadBytes(log)) == 1; }, 20000));
    const DWORD t0 = GetTickCount();
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_GE(GetTickCount() - t0, 500u) << "the running archiver must be waited for";
    EXPECT_EQ(WaitForSingleObject(hWorker, 0), WAIT_OBJECT_0) << "the worker must have ended";
    EXPECT_EQ(CountLines(ReadBytes(log)), 1) << "the queued jobs must be dropped";
    EXPECT_EQ(g_hRunMutex, nullptr);
    EXPECT_EQ(g_pWrkThread, nullptr);
    CloseHandle(hWorker);
}
