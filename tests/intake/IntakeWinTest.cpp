// The intake's Win32 side under Wine, on real files: name resolution, folder
// scans, directly named pages, the command line with real paths, the intake
// gate, inputs too long for the fixed buffers and refused posts.
#include <gtest/gtest.h>

#include "tests/intake/IntakeHarness.h"

using namespace intake_test;

namespace {

std::vector<std::string> JobPaths() {
    std::vector<std::string> paths;
    for (const JobSeen& j : TheLog().Jobs())
        paths.push_back(j.path);
    return paths;
}

// Waits until the stand-in worker has taken every job counted so far.
std::vector<std::string> TakenJobs() {
    size_t n = (size_t)g_nPending;
    WaitFor([n] { return TheLog().Count() >= n; });
    return JobPaths();
}

std::string Resolve(const std::string& path) {
    char out[1024];
    memset(out, 'x', sizeof out);
    ResolveFileName(path.c_str(), out);
    return out;
}

std::string DirPart(const std::string& path) {
    return path.substr(0, path.rfind('\\'));
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
        {dir / "page one.html", dir / "Page One.html"},
        // The short alias gives way to the long name; the folder part stays.
        {shortPath, DirPart(shortPath) + "\\Page One.html"},
        {dir / "SUB", dir / "Sub"},
        // A wildcard takes the first name the search returns.
        {dir / "*.html", dir / SearchOrder(dir.Path(), "*.html").at(0)},
        {dir / "gone.htm", dir / "gone.htm"},
        // Without a backslash the path is taken as given.
        {"PAGE ONE.HTML", "PAGE ONE.HTML"},
        {"C:page.htm", "C:page.htm"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Resolve(c.given), c.expected) << c.given;

    const std::string given = dir / "PAGE ONE.HTML";
    char in[MAX_PATH];
    strcpy(in, given.c_str());
    char out[1024];
    ResolveFileName(in, out);
    EXPECT_EQ(given, in);
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
    struct {
        const char* name;
        bool job;
    } const cases[] = {{"x.shtml", true}, {"x.Htm", false}, {"x", false}, {"x.htm.bak", false}};
    CMainDlg dlg;
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        std::string path = dir.File(c.name);
        dlg.AddPath(path.c_str());
        if (c.job)
            expected.push_back(path);
    }
    // A page that does not exist still becomes a job: the worker reports it.
    dlg.AddPath((dir / "gone.htm").c_str());
    expected.push_back(dir / "gone.htm");
    // A short alias is queued under the stored long name.
    std::string longPage = dir.File("Long Page Name.html");
    char szShort[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(longPage.c_str(), szShort, MAX_PATH), 0u);
    dlg.AddPath(szShort);
    expected.push_back(DirPart(szShort) + "\\Long Page Name.html");

    EXPECT_EQ(g_nPending, (int)expected.size());
    EXPECT_EQ(TakenJobs(), expected);
}

// The command line, with the restored states of the check boxes: a window-
// less dialog reads both as unchecked.
TEST(AddCmdLine, RealPathsAndAutoCloseCount) {
    ScratchDir dir("cmd");
    dir.Folder("My Pages");
    std::string a = dir.File("My Pages\\a.htm");
    std::string b = dir.File("b.html");
    dir.File("c.html");
    dir.Folder("empty");
    dir.File("empty\\notes.txt");
    struct {
        std::string tail;
        std::vector<std::string> jobs;
    } const cases[] = {
        {"\"" + a + "\" " + b, {a, b}},
        // Unclosed: cut at the blank; the second half, a .htm name, is a job.
        {"\"" + a, {"Pages\\a.htm"}},
        {dir / "empty", {}},
        {(dir / "gone.htm") + "   ", {dir / "gone.htm"}},
        {dir / "*.html", {dir / SearchOrder(dir.Path(), "*.html").at(0)}},
    };
    for (const auto& c : cases) {
        StandInWorkerScope worker;
        CMainDlg dlg;
        EXPECT_EQ(AddCmdLine(dlg, c.tail), c.tail);
        // Every close of the gate is matched, also when nothing was queued.
        ASSERT_TRUE(IntakeGateIsOpen()) << c.tail;
        EXPECT_EQ(g_bAutoClose, (int)c.jobs.size()) << c.tail;
        EXPECT_EQ(TakenJobs(), c.jobs) << c.tail;
    }
}

TEST(AddCmdLine, BatchIsQueuedWholeBeforeTheWorkerStarts) {
    StandInWorkerScope worker;
    ScratchDir dir("batch");
    std::string tail;
    const int kPages = 12;
    for (int i = 0; i < kPages; ++i)
        tail += dir.File("p" + std::to_string(i) + ".htm") + " ";
    CMainDlg dlg;
    AddCmdLine(dlg, tail);
    ASSERT_EQ(g_bAutoClose, kPages);
    ASSERT_TRUE(WaitFor([] { return TheLog().Count() == kPages; }));
    for (const JobSeen& j : TheLog().Jobs())
        EXPECT_EQ(j.nPendingAtStart, kPages) << j.path;
    EXPECT_TRUE(IntakeGateIsOpen());
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
    std::string huge = dir / (std::string(4000, 'h') + ".htm");
    ASSERT_EQ(fits1023.size(), 1023u);
    CMainDlg dlg;
    AddCmdLine(dlg, huge + " " + page + " " + over1024 + " " + fits1023);
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
