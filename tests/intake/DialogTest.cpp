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
    for (const char* name : {"F\\a.htm", "F\\b.htm", "F\\notes.txt", "p2.HTM", "readme.txt"})
        m_dir.File(name);
    std::vector<std::string> expected{"p1.html"};
    for (const std::string& name : SearchOrder(m_dir / "F"))
        if (name != "notes.txt")
            expected.push_back("F\\" + name);
    expected.push_back("p2.HTM");

    SendMessageA(dlg.List(), LB_ADDSTRING, 0, (LPARAM) "an earlier line");
    // A name too long for the dropped-name buffer is skipped, not cut: cut
    // short, it would read as a page named "...\\x.htmhhh...".
    HDROP hDrop = MakeDrop({m_dir / "p1.html", m_dir / "F", m_dir / "readme.txt",
                            m_dir / ("x.htm" + std::string(300, 'h')), m_dir / "p2.HTM"});
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
    EXPECT_EQ(ReadShared(g_bAutoClose), 0); // a drop never arms the close
    SendMessageA(dlg.Hwnd(), WM_DROPFILES, (WPARAM)MakeDrop({}), 0);
    EXPECT_TRUE(IntakeGateIsOpen());
    EXPECT_EQ(ReadShared(g_nPending), 4);
}

TEST_F(MainDialog, ResultLinesByStatusNewDropAndTheIdleCaption) {
    DialogRunner dlg(Ini(1, 1), "");
    ASSERT_TRUE(dlg.WaitShown());
    std::vector<std::string> drop;
    for (const char* name : {"p0.htm", "p1.htm", "p2.htm", "p3.htm"})
        drop.push_back(m_dir.File(name));
    SendMessageA(dlg.Hwnd(), WM_DROPFILES, (WPARAM)MakeDrop(drop), 0);
    SetWindowTextA(dlg.Hwnd(), "p0.htm"); // as the worker sets it
    // A notification code in the high word makes it another command: the
    // record is not taken, counted or shown.
    WrkResult notMine{};
    SendMessageA(dlg.Hwnd(), WM_COMMAND, MAKEWPARAM(ID_JOB_DONE, 1), (LPARAM)&notMine);

    PostResult(STATUS_NO_ACTION, "p0.htm");
    PostResult(STATUS_NO_ARCHIVER, "p1.htm");
    ASSERT_TRUE(WaitLines(dlg, 2));
    dlg.Sync();
    EXPECT_EQ(dlg.Lines(), (std::vector<std::string>{TEXT_NO_ACTION, TEXT_NO_ARCHIVER}));
    EXPECT_EQ(ReadShared(g_nPending), 2);
    EXPECT_EQ(dlg.Caption(), "p0.htm"); // the worker's while pages are pending

    // Results that arrive after a new drop land in the emptied list.
    const std::string kCyrillic = "\xCF\xF0\xE8\xE2\xE5\xF2.htm";
    SendMessageA(dlg.Hwnd(), WM_DROPFILES, (WPARAM)MakeDrop({m_dir.File(kCyrillic)}), 0);
    EXPECT_TRUE(dlg.Lines().empty());
    EXPECT_EQ(ReadShared(g_nPending), 3);
    PostResult(STATUS_OK, "p2.htm");
    PostResult((int32_t)0xFFFFFFFDu, "p3.htm");
    PostResult(STATUS_OK, kCyrillic.c_str());
    ASSERT_TRUE(WaitLines(dlg, 3));
    dlg.Sync();
    EXPECT_EQ(dlg.Lines(), (std::vector<std::string>{"p2.htm [Ok]", "p3.htm [" TEXT_ERROR ": -3]",
                                                     kCyrillic + " [Ok]"}));
    EXPECT_EQ(ReadShared(g_nPending), 0);
    EXPECT_EQ(dlg.Caption(), TEXT_IDLE_CAPTION);
    // Not a command-line run: the window stays.
    Sleep(200);
    EXPECT_FALSE(dlg.Ended());
}

// A command-line run is armed to close once nothing is pending (the end-to-end
// runs show it closing); a result whose status is not 0, a negative one too,
// disarms it.
TEST_F(MainDialog, CommandLineRunStaysOpenAfterAResultThatIsNotOk) {
    std::string a = m_dir.File("a.htm"), b = m_dir.File("b.htm");
    DialogRunner dlg(Ini(1, 1), "\"" + a + "\" " + b);
    ASSERT_TRUE(dlg.WaitShown());
    EXPECT_EQ(ReadShared(g_bAutoClose), 2);
    EXPECT_EQ(WaitJobs(2), (std::vector<std::string>{"a.htm", "b.htm"}));
    PostResult(STATUS_NO_ACTION, "a.htm");
    PostResult(STATUS_OK, "b.htm");
    ASSERT_TRUE(WaitLines(dlg, 2));
    dlg.Sync();
    EXPECT_EQ(ReadShared(g_bAutoClose), 0);
    EXPECT_EQ(dlg.Caption(), TEXT_IDLE_CAPTION);
    Sleep(300);
    EXPECT_FALSE(dlg.Ended());
}

} // namespace
