// End-to-end runs of the real halvok.exe under Wine: a copy of the program
// with its own halvok.ini, pages named on its command line, the real 7za.exe
// or the stand-in archiver, and the window read and closed from outside.
#include <gtest/gtest.h>

#include <windows.h>

#include "tests/helpers/WinScratch.h"
#include "tests/intake/Texts1251.h"

namespace {

// A saved page with percent-escaped references into its folder, and as repaired.
const char kPage[] =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">"
    "</head>\r\n<body><img src=\"a_files/%C0%E1.png\"><a href=\"a_files/style%20x.css\">"
    "%C0</a></body></html>\r\n";
const char kFixed[] =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">"
    "</head>\r\n<body><img src=\"a_files/\xC0\xE1.png\"><a href=\"a_files/style x.css\">"
    "%C0</a></body></html>\r\n";

std::string Cp1251(const wchar_t* w) {
    char sz[2048] = "";
    WideCharToMultiByte(1251, 0, w, -1, sz, sizeof sz, nullptr, nullptr);
    return sz;
}

// Another process's list box read with the W calls, back in Windows-1251.
std::vector<std::string> Lines(HWND hDlg) {
    HWND hList = GetDlgItem(hDlg, 1000);
    std::vector<std::string> lines;
    for (int i = 0, n = (int)SendMessageW(hList, LB_GETCOUNT, 0, 0); i < n; ++i) {
        wchar_t w[1024] = L"";
        SendMessageW(hList, LB_GETTEXT, i, (LPARAM)w);
        lines.push_back(Cp1251(w));
    }
    return lines;
}

bool WaitIdle(HWND hDlg, size_t n) {
    return WaitFor(
        [&] {
            wchar_t w[512] = L"";
            GetWindowTextW(hDlg, w, 512);
            return Lines(hDlg).size() == n && Cp1251(w) == TEXT_IDLE_CAPTION;
        },
        60000);
}

void Close(HWND hDlg) {
    PostMessageA(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0);
}

std::string Q(const std::string& path) {
    return "\"" + path + "\"";
}

class EndToEnd : public ::testing::Test {
  protected:
    void Use7za() {
        ASSERT_FALSE(m_7za.empty()) << "HALVOK_7ZA must name a real 7za.exe";
        m_app.Set("Arc", m_7za);
        m_app.Set("Com", "7za a \"%s.7z\" \"%s\" \"%s\"");
    }
    void UseFake(const char* pszCom) {
        m_app.Set("Arc", ProgramDir() + "fakearc.exe");
        m_app.Set("Com", pszCom);
    }
    std::string P(const std::string& name) { return m_app.Dir() / name; }

    const std::string m_7za = Env("HALVOK_7ZA");
    HalvokCopy m_app{"e2e"};
    std::string m_log = P("arc.log");
    EnvVar m_logVar{"HALVOK_FAKEARC_LOG", m_log};
};

TEST_F(EndToEnd, FolderRunWithRepairAndRealArchiverClosesItself) {
    Use7za();
    m_app.Set("PosX", "40");
    m_app.Set("bArc", "1");
    m_app.Set("bMSIE", "1");
    m_app.Dir().Folder("pages");
    for (const char* stem : {"a", "b"}) {
        m_app.Dir().Folder("pages\\" + std::string(stem) + "_files");
        m_app.Dir().File("pages\\" + std::string(stem) + "_files\\pic.png", "PNG");
    }
    m_app.Dir().File("pages\\a.html", kPage);
    m_app.Dir().File("pages\\b.shtml", kPage);
    m_app.Dir().File("pages\\notes.txt", "text");
    ASSERT_TRUE(m_app.Start(Q(P("pages"))));
    ASSERT_TRUE(m_app.Proc().Ended(120000));

    for (const std::string stem : {"a", "b"}) {
        EXPECT_EQ(ReadBytes(P("pages\\" + stem + ".htm")), kFixed);
        DWORD nExit = 1;
        std::string list = RunAndCapture(m_7za, "7za l " + Q(P("pages\\" + stem + ".7z")), &nExit);
        EXPECT_EQ(nExit, 0u);
        EXPECT_NE(list.find(stem + ".htm"), std::string::npos) << list;
        EXPECT_NE(list.find(stem + "_files\\pic.png"), std::string::npos) << list;
    }
    EXPECT_FALSE(Exists(P("pages\\a.html")));
    EXPECT_FALSE(Exists(P("pages\\b.shtml")));
    EXPECT_EQ(ReadBytes(P("pages\\notes.txt")), "text");
    EXPECT_FALSE(Exists(P("pages\\notes.7z")));
    EXPECT_EQ(m_app.Get("PosX"), 40);
    EXPECT_EQ(m_app.Get("bArc"), 1);
    EXPECT_EQ(m_app.Get("bMSIE"), 1);
}

TEST_F(EndToEnd, ArchiverFailureKeepsTheWindowOpen) {
    UseFake("fakearc \"%s\" \"%s\" \"%s\"");
    EnvVar rules("HALVOK_FAKEARC_RULES", "b.htm=3");
    ASSERT_TRUE(m_app.Start(Q(m_app.Dir().File("a.html", kPage)) + " " +
                            Q(m_app.Dir().File("b.html", kPage))));
    HWND hDlg = m_app.Proc().WaitMainWindow();
    ASSERT_TRUE(hDlg && WaitIdle(hDlg, 2));
    EXPECT_EQ(Lines(hDlg), (std::vector<std::string>{"a.htm [Ok]", "b.htm [" TEXT_ERROR ": 3]"}));
    EXPECT_EQ(ReadBytes(P("b.htm")), kFixed);
    EXPECT_FALSE(m_app.Proc().Ended(1000));
    Close(hDlg);
    EXPECT_TRUE(m_app.Proc().Ended(30000));
}

TEST_F(EndToEnd, MissingPageIsReported) {
    Use7za();
    ASSERT_TRUE(m_app.Start(P("gone.htm")));
    HWND hDlg = m_app.Proc().WaitMainWindow();
    ASSERT_TRUE(hDlg && WaitIdle(hDlg, 1));
    // 7za's code for a missing input.
    EXPECT_EQ(Lines(hDlg), std::vector<std::string>{"gone.htm [" TEXT_ERROR ": 1]"});
    EXPECT_FALSE(m_app.Proc().Ended(500));
    Close(hDlg);
    EXPECT_TRUE(m_app.Proc().Ended(30000));
}

TEST_F(EndToEnd, ClosingWhileTenJobsWaitFinishesOnlyTheFirst) {
    UseFake("fakearc \"%s\"");
    EnvVar sleepVar("HALVOK_FAKEARC_SLEEP_MS", "3000");
    std::string tail;
    for (int i = 0; i < 10; ++i)
        tail += Q(m_app.Dir().File("p" + std::to_string(i) + ".html", kPage)) + " ";
    ASSERT_TRUE(m_app.Start(tail));
    HWND hDlg = m_app.Proc().WaitMainWindow();
    ASSERT_TRUE(hDlg);
    ASSERT_TRUE(WaitFor([&] { return CountLines(ReadBytes(m_log)) == 1; }, 30000));
    Close(hDlg);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(hDlg); }, 2000));
    ASSERT_TRUE(m_app.Proc().Ended(30000));
    EXPECT_EQ(ReadBytes(P("p0.htm")), kFixed);
    for (int i = 1; i < 10; ++i)
        EXPECT_EQ(ReadBytes(P("p" + std::to_string(i) + ".html")), kPage) << i;
    EXPECT_EQ(CountLines(ReadBytes(m_log)), 1);
}

} // namespace
