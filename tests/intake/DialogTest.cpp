// The main dialog's intake and results display under Wine: real drops built
// in this process, result lines byte-exact in Windows-1251, the pending count,
// the idle caption and the close that ends a clean command-line run.
#include <gtest/gtest.h>

#include "tests/intake/IntakeHarness.h"
#include "tests/intake/Texts1251.h"

using namespace intake_test;

namespace {

class MainDialog : public ::testing::Test {
  protected:
    // Writes the settings file with the two check-box keys.
    std::string Ini(int bArc, int bMSIE) {
        std::string ini = m_dir / "halvok.ini";
        WritePrivateProfileStringA("Options", "bArc", std::to_string(bArc).c_str(), ini.c_str());
        WritePrivateProfileStringA("Options", "bMSIE", std::to_string(bMSIE).c_str(), ini.c_str());
        return ini;
    }
    std::vector<std::string> WaitJobs(size_t n) {
        WaitFor([n] { return TheLog().Count() >= n; });
        std::vector<std::string> names;
        for (const JobSeen& j : TheLog().Jobs())
            names.push_back(j.path.substr(m_dir.Path().size() + 1));
        return names;
    }
    static bool WaitLines(DialogRunner& dlg, size_t n) {
        return WaitFor([&] { return dlg.Lines().size() == n; });
    }

    StandInWorkerScope m_worker;
    ScratchDir m_dir{"dlg"};
};

TEST_F(MainDialog, DropOfFilesAndFoldersTogether) {
    DialogRunner dlg(Ini(0, 1), "");
    ASSERT_TRUE(dlg.WaitShown());
    m_dir.File("p1.html");
    m_dir.Folder("F");
    m_dir.File("F\\a.htm");
    m_dir.File("F\\b.htm");
    m_dir.File("F\\notes.txt");
    m_dir.Folder("F\\a_files");
    m_dir.File("p2.HTM");
    m_dir.File("readme.txt");
    std::vector<std::string> expected{"p1.html"};
    for (const std::string& name : SearchOrder(m_dir / "F"))
        if (name == "a.htm" || name == "b.htm")
            expected.push_back("F\\" + name);
    expected.push_back("p2.HTM");

    SendMessageA(dlg.List(), LB_ADDSTRING, 0, (LPARAM) "an earlier line");
    HDROP hDrop =
        MakeDrop({m_dir / "p1.html", m_dir / "F", m_dir / "readme.txt", m_dir / "p2.HTM"});
    SendMessageA(dlg.Hwnd(), WM_DROPFILES, (WPARAM)hDrop, 0);

    EXPECT_TRUE(dlg.Lines().empty());
    EXPECT_EQ(ReadShared(g_nPending), 4);
    EXPECT_EQ(WaitJobs(4), expected);
    for (const JobSeen& j : TheLog().Jobs()) {
        // The boxes as restored: archive off, repair on.
        EXPECT_EQ(j.bArchive, 0);
        EXPECT_EQ(j.bFixHtml, 1);
        // The whole drop was queued before the worker started on it.
        EXPECT_EQ(j.nPendingAtStart, 4);
    }
    EXPECT_TRUE(IntakeGateIsOpen());
    // A drop never arms the close.
    EXPECT_EQ(ReadShared(g_bAutoClose), 0);

    // The boxes are read anew for every job.
    CheckDlgButton(dlg.Hwnd(), 1005, BST_CHECKED);
    CheckDlgButton(dlg.Hwnd(), 1004, BST_UNCHECKED);
    SendMessageA(dlg.Hwnd(), WM_DROPFILES, (WPARAM)MakeDrop({m_dir / "p1.html"}), 0);
    ASSERT_EQ(WaitJobs(5).size(), 5u);
    EXPECT_EQ(TheLog().Jobs()[4].bArchive, 1);
    EXPECT_EQ(TheLog().Jobs()[4].bFixHtml, 0);
}

TEST_F(MainDialog, DropWithoutPagesStillEmptiesTheListAndReleasesTheWorker) {
    DialogRunner dlg(Ini(1, 1), "");
    ASSERT_TRUE(dlg.WaitShown());
    m_dir.Folder("none");
    m_dir.File("none\\e.txt");
    std::string mht = m_dir.File("x.mht");
    SendMessageA(dlg.List(), LB_ADDSTRING, 0, (LPARAM) "an earlier line");
    SendMessageA(dlg.Hwnd(), WM_DROPFILES, (WPARAM)MakeDrop({m_dir / "none", mht}), 0);
    EXPECT_TRUE(dlg.Lines().empty());
    EXPECT_EQ(ReadShared(g_nPending), 0);
    EXPECT_TRUE(IntakeGateIsOpen());
    SendMessageA(dlg.Hwnd(), WM_DROPFILES, (WPARAM)MakeDrop({}), 0);
    EXPECT_TRUE(IntakeGateIsOpen());
    // A name too long for the dropped-name buffer is skipped, not cut: cut
    // short, this one would read as a page named "...\\x.htmhhh...".
    SendMessageA(dlg.Hwnd(), WM_DROPFILES,
                 (WPARAM)MakeDrop({m_dir / ("x.htm" + std::string(300, 'h'))}), 0);
    EXPECT_EQ(ReadShared(g_nPending), 0);
    Sleep(100);
    EXPECT_EQ(TheLog().Count(), 0u);
}

TEST_F(MainDialog, ResultLinesByStatusAndTheIdleCaption) {
    DialogRunner dlg(Ini(1, 1), "");
    ASSERT_TRUE(dlg.WaitShown());
    std::vector<std::string> drop;
    for (int i = 0; i < 6; ++i)
        drop.push_back(m_dir.File("p" + std::to_string(i) + ".htm"));
    SendMessageA(dlg.Hwnd(), WM_DROPFILES, (WPARAM)MakeDrop(drop), 0);
    ASSERT_EQ(ReadShared(g_nPending), 6);
    SetWindowTextA(dlg.Hwnd(), "p0.htm"); // as the worker sets it

    struct {
        int32_t status;
        const char* name;
        const char* line;
    } const cases[] = {
        {STATUS_NO_ACTION, "p0.htm", TEXT_NO_ACTION},
        {STATUS_NO_ARCHIVER, "p1.htm", TEXT_NO_ARCHIVER},
        {STATUS_OK, "p2.htm", "p2.htm [Ok]"},
        {2, "p3.htm", "p3.htm [" TEXT_ERROR ": 2]"},
        {(int32_t)0xFFFFFFFDu, "p4.htm", "p4.htm [" TEXT_ERROR ": -3]"},
        {STATUS_OK, "\xCF\xF0\xE8\xE2\xE5\xF2.htm", "\xCF\xF0\xE8\xE2\xE5\xF2.htm [Ok]"},
    };
    std::vector<std::string> expected;
    for (const auto& c : cases) {
        PostResult(c.status, c.name);
        expected.push_back(c.line);
        ASSERT_TRUE(WaitLines(dlg, expected.size()));
        dlg.Sync();
        EXPECT_EQ(ReadShared(g_nPending), 6 - (int)expected.size());
        // The caption stays the worker's until nothing is pending.
        EXPECT_EQ(dlg.Caption(), expected.size() < 6 ? "p0.htm" : TEXT_IDLE_CAPTION);
    }
    EXPECT_EQ(dlg.Lines(), expected);
    // Not a command-line run: the window stays.
    Sleep(200);
    EXPECT_FALSE(dlg.Ended());
}

TEST_F(MainDialog, ResultAfterANewDropLandsInTheEmptiedList) {
    DialogRunner dlg(Ini(1, 1), "");
    ASSERT_TRUE(dlg.WaitShown());
    std::string a = m_dir.File("a.htm"), b = m_dir.File("b.htm"), c = m_dir.File("c.htm");
    std::string d = m_dir.File("d.htm");
    SendMessageA(dlg.Hwnd(), WM_DROPFILES, (WPARAM)MakeDrop({a, b, c}), 0);
    PostResult(STATUS_OK, "a.htm");
    ASSERT_TRUE(WaitLines(dlg, 1));
    SetWindowTextA(dlg.Hwnd(), "b.htm");

    SendMessageA(dlg.Hwnd(), WM_DROPFILES, (WPARAM)MakeDrop({d}), 0);
    EXPECT_TRUE(dlg.Lines().empty());
    EXPECT_EQ(ReadShared(g_nPending), 3);
    PostResult(STATUS_OK, "b.htm");
    PostResult(5, "c.htm");
    ASSERT_TRUE(WaitLines(dlg, 2));
    dlg.Sync();
    EXPECT_EQ(dlg.Lines(), (std::vector<std::string>{"b.htm [Ok]", "c.htm [" TEXT_ERROR ": 5]"}));
    EXPECT_EQ(ReadShared(g_nPending), 1);
    EXPECT_EQ(dlg.Caption(), "b.htm");
    PostResult(STATUS_OK, "d.htm");
    ASSERT_TRUE(WaitLines(dlg, 3));
    dlg.Sync();
    EXPECT_EQ(dlg.Caption(), TEXT_IDLE_CAPTION);
}

// A command-line run closes its window once every page succeeded; any
// result with another status keeps it open.
TEST_F(MainDialog, CommandLineRunClosesItselfOnlyWhenEveryPageSucceeded) {
    struct {
        int32_t a, b;
        bool closes;
        const char* lineA;
        const char* lineB;
    } const cases[] = {
        {STATUS_OK, STATUS_OK, true, "", ""},
        {STATUS_OK, 3, false, "a.htm [Ok]", "b.htm [" TEXT_ERROR ": 3]"},
        {STATUS_NO_ACTION, STATUS_OK, false, TEXT_NO_ACTION, "b.htm [Ok]"},
        {STATUS_NO_ARCHIVER, STATUS_OK, false, TEXT_NO_ARCHIVER, "b.htm [Ok]"},
    };
    std::string a = m_dir.File("a.htm"), b = m_dir.File("b.htm");
    for (const auto& c : cases) {
        StandInWorkerScope worker;
        worker.Reply("a.htm", c.a);
        worker.Reply("b.htm", c.b);
        DialogRunner dlg(Ini(1, 0), "\"" + a + "\" " + b);
        if (c.closes) {
            // Armed with the count of command-line jobs; closes by itself.
            EXPECT_TRUE(dlg.Ended(15000)) << c.a << "/" << c.b;
        } else {
            ASSERT_TRUE(dlg.WaitShown());
            ASSERT_TRUE(WaitLines(dlg, 2));
            dlg.Sync();
            EXPECT_EQ(dlg.Lines(), (std::vector<std::string>{c.lineA, c.lineB}));
            EXPECT_EQ(dlg.Caption(), TEXT_IDLE_CAPTION);
            EXPECT_EQ(ReadShared(g_bAutoClose), 0);
            Sleep(300);
            EXPECT_FALSE(dlg.Ended()) << c.a << "/" << c.b;
        }
        // Command-line jobs carry the restored boxes: archive on, repair off.
        std::vector<JobSeen> jobs = TheLog().Jobs();
        ASSERT_EQ(jobs.size(), 2u);
        EXPECT_EQ(jobs[0].path, a);
        EXPECT_EQ(jobs[1].path, b);
        EXPECT_EQ(jobs[0].bArchive, 1);
        EXPECT_EQ(jobs[0].bFixHtml, 0);
    }
}

TEST_F(MainDialog, CommandLineWithoutPagesNeverArmsTheClose) {
    m_dir.Folder("empty");
    DialogRunner dlg(Ini(1, 1), m_dir / "empty");
    ASSERT_TRUE(dlg.WaitShown());
    EXPECT_EQ(ReadShared(g_bAutoClose), 0);
    EXPECT_TRUE(IntakeGateIsOpen());
    // Results of later drops close nothing.
    SendMessageA(dlg.Hwnd(), WM_DROPFILES, (WPARAM)MakeDrop({m_dir.File("x.htm")}), 0);
    PostResult(STATUS_OK, "x.htm");
    ASSERT_TRUE(WaitLines(dlg, 1));
    Sleep(300);
    EXPECT_FALSE(dlg.Ended());
}

TEST_F(MainDialog, OtherCommandsGoToTheBaseHandling) {
    DialogRunner dlg(Ini(1, 1), "");
    ASSERT_TRUE(dlg.WaitShown());
    SendMessageA(dlg.Hwnd(), WM_DROPFILES, (WPARAM)MakeDrop({m_dir.File("x.htm")}), 0);
    // A notification code in the high word makes it another command: the
    // record is not taken, counted or shown.
    WrkResult notMine{};
    notMine.nStatus = STATUS_OK;
    strcpy(notMine.szName, "x.htm");
    SendMessageA(dlg.Hwnd(), WM_COMMAND, MAKEWPARAM(ID_JOB_DONE, 1), (LPARAM)&notMine);
    EXPECT_TRUE(dlg.Lines().empty());
    EXPECT_EQ(ReadShared(g_nPending), 1);
    EXPECT_STREQ(notMine.szName, "x.htm");
    // Esc's command ends the dialog as the base handles it.
    PostMessageA(dlg.Hwnd(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(dlg.Ended(10000));
}

} // namespace
