// The application object: its start-up (command-line tail, InitInstance then
// ExitInstance, the exit code) and CMainApp's shutdown (the run mutex released
// before the worker is told to quit, the job under way finished, the jobs
// behind it dropped, the steps a failed start never made skipped).
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/Globals.h"
#include "app/MainApp.h"
#include "app/Settings.h"
#include "fw/WinApp.h"
#include "tests/helpers/WinScratch.h"
#include "worker/WrkDefs.h"
#include "worker/WrkThread.h"

TEST(CmdLineTail, SkipsTheProgramNameAndTheBlanksAfterIt) {
    struct Case {
        const char* pszFull;
        const char* pszTail;
    } cases[] = {
        {"", ""},
        {"halvok.exe a.htm", "a.htm"},
        {"halvok.exe \t  a.htm  b.htm  ", "a.htm  b.htm  "},
        {"halvok.exe\ta.htm", "a.htm"},
        {"\"C:\\My Tools\\halvok.exe\" \"C:\\My Pages\\a.htm\"", "\"C:\\My Pages\\a.htm\""},
        // A quoted part inside the name does not end it.
        {"C:\\My\" Tools\"\\halvok.exe x", "x"},
        {"\"C:\\My Tools\\halvok.exe\"x y", "y"},
        // An unclosed quote runs to the end: the whole line is the name.
        {"\"C:\\My Tools\\halvok.exe a.htm", ""},
    };
    for (const Case& c : cases) {
        std::string line = c.pszFull;
        char* pszLine = &line[0];
        char* pszTail = AfxCmdLineTail(pszLine);
        EXPECT_STREQ(pszTail, c.pszTail) << c.pszFull;
        // The tail lies inside the line, so the line's lifetime is the tail's.
        EXPECT_EQ(pszTail, pszLine + line.size() - strlen(c.pszTail)) << c.pszFull;
    }
    EXPECT_STREQ(AfxCmdLineTail(nullptr), "");
}

namespace {
class RecordingApp : public CWinApp {
  public:
    BOOL InitInstance() override {
        m_calls += "init;";
        m_cmdLine = m_lpCmdLine;
        return m_bInitResult;
    }
    int ExitInstance() override {
        m_calls += "exit;";
        return m_nExitCode;
    }

    BOOL m_bInitResult = FALSE;
    int m_nExitCode = 0;
    std::string m_calls;
    std::string m_cmdLine;
};
} // namespace

TEST(AfxWinMain, RunsInitInstanceThenExitInstanceWhoseResultIsTheExitCode) {
    EXPECT_EQ(AfxWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL), -1)
        << "no application object";
    for (BOOL bInitResult : {FALSE, TRUE}) {
        RecordingApp app;
        RecordingApp second; // only the first object of a process is the application
        EXPECT_EQ(AfxGetApp(), &app);
        app.m_bInitResult = bInitResult;
        app.m_nExitCode = bInitResult ? -7 : 42;
        char szCmd[] = "\"C:\\My Pages\\a.htm\" b.htm";
        EXPECT_EQ(AfxWinMain(GetModuleHandleA(nullptr), nullptr, szCmd, SW_SHOWNORMAL),
                  app.m_nExitCode);
        EXPECT_EQ(app.m_calls, "init;exit;");
        EXPECT_EQ(app.m_cmdLine, szCmd);
    }
    // The framework's own ExitInstance gives 0.
    CWinApp app;
    EXPECT_EQ(AfxWinMain(GetModuleHandleA(nullptr), nullptr, nullptr, SW_SHOWNORMAL), 0);
    EXPECT_STREQ(app.m_lpCmdLine, "");
}

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
