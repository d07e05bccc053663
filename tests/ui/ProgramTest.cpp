// halvok.exe and its application object: the version block, a run closed
// from outside, and the shutdown that waits for the job under way.
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

TEST(Program, VersionStringsReadBack) {
    const std::string exe = ProgramDir() + "halvok.exe";
    DWORD dwHandle = 0;
    std::string block(GetFileVersionInfoSizeA(exe.c_str(), &dwHandle), '\0');
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, block.size(), &block[0]));
    const std::pair<const char*, const char*> strings[] = {
        {"FileVersion", "1, 1, 5, 0"},      {"ProductVersion", "1, 1, 5, 0"},
        {"FileDescription", "Halvok"},      {"InternalName", "Halvok"},
        {"OriginalFilename", "Halvok.exe"},
    };
    for (const auto& s : strings) {
        char* psz = nullptr;
        UINT n = 0;
        std::string query = std::string("\\StringFileInfo\\041904b0\\") + s.first;
        ASSERT_TRUE(
            VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&psz), &n));
        EXPECT_STREQ(psz, s.second);
    }
}

TEST(Program, ExitsWithTheFrameworksCode) {
    HalvokCopy app("program");
    ASSERT_TRUE(app.Copied() && app.Start());
    HWND hDlg = app.Proc().WaitMainWindow();
    ASSERT_NE(hDlg, nullptr);
    PostMessageA(hDlg, WM_CLOSE, 0, 0);
    EXPECT_EQ(app.Proc().WaitExitCode(20000), 0u);
}

// With the first of three archiving jobs under way, shutdown waits for it
// and the worker drops the other two.
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
    ASSERT_TRUE(WaitFor([&] { return CountLines(ReadBytes(log)) == 1; }, 20000));
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_EQ(WaitForSingleObject(hWorker, 0), WAIT_OBJECT_0); // waited for
    EXPECT_EQ(CountLines(ReadBytes(log)), 1);                  // mutex released before the quit
    EXPECT_EQ(g_hRunMutex, nullptr);
    CloseHandle(hWorker);
}
