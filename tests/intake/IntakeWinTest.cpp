// The intake's Win32 side under Wine, on real files: name resolution, folder
// scans, directly named pages, the command line with real paths, the intake
// gate, inputs too long for the fixed buffers and refused posts.
#include <gtest/gtest.h>

#include "tests/intake/IntakeHarness.h"

using namespace intake_test;

namespace {

// Waits until the stand-in worker has taken every job counted so far.
std::vector<std::string> TakenJobs() {
    size_t n = (size_t)g_nPending;
    WaitFor([n] { return TheLog().Count() >= n; });
    std::vector<std::string> paths;
    for (const JobSeen& j : TheLog().Jobs())
        paths.push_back(j.path);
    return paths;
}

std::string Resolve(const std::string& path) {
    char out[1024];
    memset(out, 'x', sizeof out);
    ResolveFileName(path.c_str(), out);
    return out;
}

// The command-line intake as the start-up runs it; returns the tail as the
// intake left it.
std::string AddCmdLine(CMainDlg& dlg, std::string tail) {
    CWinApp app;
    app.m_lpCmdLine = &tail[0];
    g_pMainApp = &app;
    dlg.AddCmdLine();
    g_pMainApp = nullptr;
    return tail.c_str();
}

TEST(ResolveFileName, LastComponentAsStored) {
    ScratchDir dir("res");
    std::string page = dir.File("Page One.html");
    dir.Folder("Sub");
    char szShort[MAX_PATH] = "";
    ASSERT_GT(GetShortPathNameA(page.c_str(), szShort, MAX_PATH), 0u);
    const std::string shortPath = szShort;
    ASSERT_NE(shortPath.substr(shortPath.rfind('\\') + 1), "Page One.html");
    dir.File("b.html");

    struct {
        std::string given, expected;
    } const cases[] = {
        {dir / "PAGE ONE.HTML", dir / "Page One.html"},
        // The short alias gives way to the long name; the folder part stays.
        {shortPath, shortPath.substr(0, shortPath.rfind('\\')) + "\\Page One.html"},
        {dir / "SUB", dir / "Sub"},
        // A wildcard takes the first name the search returns.
        {dir / "*.html", dir / SearchOrder(dir.Path(), "*.html").at(0)},
        {dir / "gone.htm", dir / "gone.htm"},
        // Without a backslash the path is taken as given.
        {"PAGE ONE.HTML", "PAGE ONE.HTML"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Resolve(c.given), c.expected) << c.given;
}

TEST(AddPath, FolderScanOneLevelDeepByExtension) {
    StandInWorkerScope worker;
    ScratchDir dir("scan");
    for (const char* name : {"a.htm", "b.html", "c.HTML", "d.Html", "e.txt", "f.htm.bak"})
        dir.File(name);
    dir.Folder("g.htm");
    dir.Folder("a_files");
    dir.File("a_files\\inner.htm");
    dir.File("g.htm\\deeper.htm");

    std::vector<std::string> expected;
    for (const std::string& name : SearchOrder(dir.Path()))
        if (name == "a.htm" || name == "b.html" || name == "c.HTML")
            expected.push_back(dir / name);
    ASSERT_EQ(expected.size(), 3u);

    CMainDlg dlg;
    dlg.AddPath(dir.Path().c_str());
    EXPECT_EQ(g_nPending, 3);
    EXPECT_EQ(TakenJobs(), expected);
}

TEST(AddPath, PagesNamedDirectly) {
    StandInWorkerScope worker;
    ScratchDir dir("direct");
    CMainDlg dlg;
    std::vector<std::string> expected;
    const std::pair<const char*, bool> cases[] = {
        {"x.shtml", true}, {"x.HTML", true}, {"x.Htm", false}, {"x.mht", false}, {"x", false}};
    for (const auto& c : cases) {
        std::string path = dir.File(c.first);
        dlg.AddPath(path.c_str());
        if (c.second)
            expected.push_back(path);
    }
    // A page that does not exist still becomes a job: the worker reports it.
    dlg.AddPath((dir / "gone.htm").c_str());
    expected.push_back(dir / "gone.htm");
    EXPECT_EQ(g_nPending, (int)expected.size());
    EXPECT_EQ(TakenJobs(), expected);
}

// The command line with real paths. Every close of the gate is matched, also
// when nothing was queued, and the whole batch is queued before the worker
// takes its first job.
TEST(AddCmdLine, RealPathsGateAndAutoCloseCount) {
    ScratchDir dir("cmd");
    dir.Folder("My Pages");
    std::string a = dir.File("My Pages\\a.htm");
    std::string b = dir.File("b.html");
    dir.Folder("empty");
    dir.File("empty\\notes.txt");
    struct {
        std::string tail;
        std::vector<std::string> jobs;
    } const cases[] = {
        {"", {}},
        {"\"" + a + "\" " + b, {a, b}},
        {dir / "empty", {}},
        {(dir / "gone.htm") + "   ", {dir / "gone.htm"}},
    };
    for (const auto& c : cases) {
        StandInWorkerScope worker;
        CMainDlg dlg;
        EXPECT_EQ(AddCmdLine(dlg, c.tail), c.tail);
        ASSERT_TRUE(IntakeGateIsOpen()) << c.tail;
        EXPECT_EQ(g_bAutoClose, (int)c.jobs.size()) << c.tail;
        EXPECT_EQ(TakenJobs(), c.jobs) << c.tail;
        for (const JobSeen& j : TheLog().Jobs())
            EXPECT_EQ(j.nPendingAtStart, (int)c.jobs.size()) << j.path;
    }
}

// Inputs that do not fit a fixed buffer are skipped: no job, no overflow.
TEST(AddPath, InputsTooLongForTheBuffersAreSkipped) {
    StandInWorkerScope worker;
    ScratchDir dir("long");
    const size_t nDir = dir.Path().size();

    // Command-line tokens: 1023 characters fit the path buffers, 1024 do not.
    std::string page = dir.File("ok.htm");
    std::string fits1023 = dir / (std::string(1023 - nDir - 5, 'e') + ".htm");
    std::string over1024 = dir / (std::string(1024 - nDir - 5, 'e') + ".htm");
    ASSERT_EQ(fits1023.size(), 1023u);
    CMainDlg dlg;
    AddCmdLine(dlg, page + " " + over1024 + " " + fits1023);
    EXPECT_EQ(g_bAutoClose, 2);
    EXPECT_EQ(TakenJobs(), (std::vector<std::string>{page, fits1023}));

    // A folder whose entries' paths pass MAX_PATH: only the entries that fit.
    std::string deep = dir.Folder(std::string(229 - nDir, 'd'));
    ASSERT_EQ(deep.size(), 230u);
    std::string fits = deep + "\\" + std::string(24, 'f') + ".htm";
    std::string over = deep + "\\" + std::string(25, 'o') + ".htm";
    ASSERT_EQ(fits.size(), (size_t)MAX_PATH - 1);
    ASSERT_TRUE(WriteBytes(fits, ""));
    if (!WriteBytes(over, ""))
        GTEST_SKIP() << "this file system refuses paths beyond MAX_PATH";
    dlg.AddPath(deep.c_str());
    EXPECT_EQ(TakenJobs(), (std::vector<std::string>{page, fits1023, fits}));

    // A short pattern whose stored name makes the path outgrow MAX_PATH.
    const std::string pattern = deep + "\\o*";
    EXPECT_EQ(Resolve(pattern), "");
    dlg.AddPath(pattern.c_str());
    EXPECT_EQ(g_nPending, 3);
    DeleteFileA(over.c_str());
}

// A job that the platform refuses to post is freed and not counted: the
// count would otherwise wait for an answer that never comes.
TEST(AddPath, RefusedPostIsNotCounted) {
    ScratchDir dir("refused");
    std::string page = dir.File("p.htm");
    HANDLE hEnded = CreateThread(
        nullptr, 0, [](LPVOID) -> DWORD { return 0; }, nullptr, 0, nullptr);
    DWORD dwEndedId = GetThreadId(hEnded);
    WaitForSingleObject(hEnded, INFINITE);
    CloseHandle(hEnded);

    CStandInWorker gone; // never started: its thread id is that of an ended thread
    gone.m_nThreadID = dwEndedId;
    g_pWrkThread = &gone;
    g_nPending = 0;
    g_bAutoClose = 0;
    CMainDlg dlg;
    AddCmdLine(dlg, page);
    dlg.AddPath(page.c_str());
    g_pWrkThread = nullptr;
    EXPECT_EQ(g_nPending, 0);
    EXPECT_EQ(g_bAutoClose, 0);
    EXPECT_TRUE(IntakeGateIsOpen());
}

} // namespace
