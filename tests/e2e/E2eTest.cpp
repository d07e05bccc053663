// End-to-end runs of the real halvok.exe under Wine: a copy of the program in
// a fresh folder with its own halvok.ini, pages named on its command line,
// the real 7za.exe or the stand-in archiver, and the window read and closed
// from outside the way a user's desktop would.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tests/helpers/WinScratch.h"
#include "tests/intake/Texts1251.h"

namespace {

std::string FromWide(const std::wstring& w) {
    int n = WideCharToMultiByte(1251, 0, w.c_str(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    std::string s((size_t)n, '\0');
    WideCharToMultiByte(1251, 0, w.c_str(), (int)w.size(), &s[0], n, nullptr, nullptr);
    return s;
}

// A copy of halvok.exe with a folder of pages beside it, and its window read
// and closed from outside.
class Halvok : public HalvokCopy {
  public:
    explicit Halvok(const char* pszTag) : HalvokCopy(pszTag), m_pages(Dir().Folder("pages")) {}

    std::string Page(const std::string& name, const std::string& bytes) {
        return Dir().File("pages\\" + name, bytes);
    }
    std::string Pages() const { return m_pages; }
    std::string P(const std::string& name) const { return m_pages + "\\" + name; }
    bool Ended(DWORD ms) { return Proc().Ended(ms); }
    HWND WaitWindow() { return Proc().WaitMainWindow(); }

    // Another process's list box: the W calls give the text as UTF-16,
    // turned back into the Windows-1251 bytes the program put in.
    static std::vector<std::string> Lines(HWND hDlg) {
        HWND hList = GetDlgItem(hDlg, 1000);
        std::vector<std::string> lines;
        int n = (int)SendMessageW(hList, LB_GETCOUNT, 0, 0);
        for (int i = 0; i < n; ++i) {
            int len = (int)SendMessageW(hList, LB_GETTEXTLEN, i, 0);
            if (len < 0)
                break;
            std::wstring w((size_t)len + 1, L'\0');
            SendMessageW(hList, LB_GETTEXT, i, (LPARAM)&w[0]);
            w.resize(wcslen(w.c_str()));
            lines.push_back(FromWide(w));
        }
        return lines;
    }
    static std::string Caption(HWND hDlg) {
        wchar_t w[512] = L"";
        GetWindowTextW(hDlg, w, 512);
        return FromWide(w);
    }
    // Waits for n result lines under the idle caption.
    static bool WaitIdle(HWND hDlg, size_t n) {
        return WaitFor(
            [&] { return Lines(hDlg).size() == n && Caption(hDlg) == TEXT_IDLE_CAPTION; }, 60000);
    }
    // Closes the window as the user's Close command does.
    static void Close(HWND hDlg) { PostMessageA(hDlg, WM_SYSCOMMAND, SC_CLOSE, 0); }

  private:
    std::string m_pages;
};

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

// Saved pages whose references into their folders are percent-escaped, and
// the pages as they read once repaired.
const char kOtherPage[] =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">"
    "</head>\r\n<body><img src=\"news_files/%C0%E1.png\"><a href=\"news_files/style%20x.css\">"
    "%C0</a></body></html>\r\n";
const char kOtherFixed[] =
    "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">"
    "</head>\r\n<body><img src=\"news_files/\xC0\xE1.png\"><a href=\"news_files/style x.css\">"
    "%C0</a></body></html>\r\n";
const char kKoiPage[] =
    "<html><head><meta content=\"text/html; charset=koi8-r\"></head>"
    "<body><img src=\"koi_files/%C0%E1.gif\" alt=\"\xF0\xD2\xC9\xD7\xC5\xD4\"></body></html>";
const char kKoiFixed[] =
    "<html><head><meta content=\"text/html; charset=koi8-r\"></head>"
    "<body><img src=\"koi_files/\xE1\xC2.gif\" alt=\"\xF0\xD2\xC9\xD7\xC5\xD4\"></body></html>";
const char kUtfPage[] =
    "<html><head><meta content=\"text/html; charset=utf-8\"></head><body>"
    "<img src=\"utf_files/%D0%9F.png\"><img src=\"utf_files/%C0%E1.png\"></body></html>";
const char kUtfFixed[] = "<html><head><meta content=\"text/html; charset=utf-8\"></head><body>"
                         "<img src=\"utf_files/\xD0\x9F.png\"><img "
                         "src=\"utf_files/\xD0\x90\xD0\xB1.png\"></body></html>";

// The entries of an archive, as 7za lists them.
std::string ListArchive(const std::string& sevenZa, const std::string& archive) {
    DWORD exitCode = 0;
    std::string out = RunAndCapture(sevenZa, "7za l " + Quoted(archive), &exitCode);
    return exitCode == 0 ? out : "<7za l failed>";
}

TEST(EndToEnd, FolderRunWithRepairAndRealArchiverClosesItself) {
    const std::string sevenZa = Env("HALVOK_7ZA");
    if (sevenZa.empty())
        FAIL() << "HALVOK_7ZA is not set: it must name a real 7za.exe (scripts/test fetches one)";
    Halvok app("e2e-7za");
    app.Set("Arc", sevenZa);
    app.Set("Com", "7za a \"%s.7z\" \"%s\" \"%s\"");
    app.Set("PosX", "40");
    app.Set("PosY", "30");
    app.Set("bArc", "1");
    app.Set("bMSIE", "1");
    app.Page("news.html", kOtherPage);
    app.Page("koi.htm", kKoiPage);
    app.Page("utf.shtml", kUtfPage);
    app.Page("notes.txt", "not a page");
    for (const char* folder : {"news_files", "koi_files", "utf_files"}) {
        CreateDirectoryA(app.P(folder).c_str(), nullptr);
        app.Page(std::string(folder) + "\\pic.png", "PNG");
    }

    ASSERT_TRUE(app.Start(Quoted(app.Pages())));
    ASSERT_TRUE(app.Ended(120000)) << "the window did not close itself";

    EXPECT_FALSE(Exists(app.P("news.html")));
    EXPECT_FALSE(Exists(app.P("utf.shtml")));
    EXPECT_EQ(ReadBytes(app.P("news.htm")), kOtherFixed);
    EXPECT_EQ(ReadBytes(app.P("koi.htm")), kKoiFixed);
    EXPECT_EQ(ReadBytes(app.P("utf.htm")), kUtfFixed);
    EXPECT_EQ(ReadBytes(app.P("notes.txt")), "not a page");
    for (const char* stem : {"news", "koi", "utf"}) {
        std::string listing = ListArchive(sevenZa, app.P(std::string(stem) + ".7z"));
        EXPECT_NE(listing.find(std::string(stem) + ".htm"), std::string::npos) << listing;
        EXPECT_NE(listing.find(std::string(stem) + "_files\\pic.png"), std::string::npos)
            << listing;
    }
    EXPECT_FALSE(Exists(app.P("notes.7z")));
    // The window's settings were saved as it closed.
    EXPECT_EQ(app.Get("PosX"), 40);
    EXPECT_EQ(app.Get("PosY"), 30);
    EXPECT_EQ(app.Get("bArc"), 1);
    EXPECT_EQ(app.Get("bMSIE"), 1);
}

TEST(EndToEnd, ArchiverFailureKeepsTheWindowOpenWithItsLines) {
    Halvok app("e2e-fail");
    app.Set("Arc", ProgramDir() + "fakearc.exe");
    app.Set("Com", "fakearc \"%s\" \"%s\" \"%s\"");
    const std::string log = app.P("arc.log");
    EnvVar rules("HALVOK_FAKEARC_RULES", "b.htm=3");
    EnvVar logVar("HALVOK_FAKEARC_LOG", log);
    app.Page("a.html", kOtherPage);
    app.Page("b.html", kOtherPage);

    ASSERT_TRUE(app.Start(Quoted(app.P("a.html")) + " " + Quoted(app.P("b.html"))));
    HWND hDlg = app.WaitWindow();
    ASSERT_TRUE(hDlg);
    ASSERT_TRUE(Halvok::WaitIdle(hDlg, 2)) << Halvok::Lines(hDlg).size();
    EXPECT_EQ(Halvok::Lines(hDlg),
              (std::vector<std::string>{"a.htm [Ok]", "b.htm [" TEXT_ERROR ": 3]"}));
    EXPECT_FALSE(app.Ended(1000)) << "a failed page must keep the window open";
    EXPECT_EQ(CountLines(ReadBytes(log)), 2);
    EXPECT_EQ(ReadBytes(app.P("b.htm")), kOtherFixed);

    Halvok::Close(hDlg);
    EXPECT_TRUE(app.Ended(30000));
}

TEST(EndToEnd, MissingPageOnTheCommandLineIsReported) {
    const std::string sevenZa = Env("HALVOK_7ZA");
    if (sevenZa.empty())
        FAIL() << "HALVOK_7ZA is not set: it must name a real 7za.exe (scripts/test fetches one)";
    Halvok app("e2e-gone");
    app.Set("Arc", sevenZa);
    app.Set("Com", "7za a \"%s.7z\" \"%s\" \"%s\"");
    ASSERT_TRUE(app.Start(app.P("gone.htm")));
    HWND hDlg = app.WaitWindow();
    ASSERT_TRUE(hDlg);
    ASSERT_TRUE(Halvok::WaitIdle(hDlg, 1));
    // 7za reports missing input with exit code 1.
    EXPECT_EQ(Halvok::Lines(hDlg), std::vector<std::string>{"gone.htm [" TEXT_ERROR ": 1]"});
    EXPECT_FALSE(Exists(app.P("gone.htm")));
    EXPECT_FALSE(app.Ended(500));
    Halvok::Close(hDlg);
    EXPECT_TRUE(app.Ended(30000));
}

TEST(EndToEnd, ClosingWhileTenJobsWaitFinishesOnlyTheFirst) {
    Halvok app("e2e-close");
    app.Set("Arc", ProgramDir() + "fakearc.exe");
    app.Set("Com", "fakearc \"%s\"");
    const std::string log = app.P("arc.log");
    EnvVar logVar("HALVOK_FAKEARC_LOG", log);
    EnvVar sleepVar("HALVOK_FAKEARC_SLEEP_MS", "3000");
    std::string tail;
    for (int i = 0; i < 10; ++i)
        tail += Quoted(app.Page("p" + std::to_string(i) + ".html", kOtherPage)) + " ";

    ASSERT_TRUE(app.Start(tail));
    HWND hDlg = app.WaitWindow();
    ASSERT_TRUE(hDlg);
    // The first page's archiver is running: close now.
    ASSERT_TRUE(WaitFor([&] { return CountLines(ReadBytes(log)) == 1; }, 30000));
    Halvok::Close(hDlg);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(hDlg); }, 2000)) << "the window must go at once";
    ASSERT_TRUE(app.Ended(30000));

    EXPECT_EQ(ReadBytes(app.P("p0.htm")), kOtherFixed);
    for (int i = 1; i < 10; ++i) {
        std::string name = "p" + std::to_string(i);
        EXPECT_EQ(ReadBytes(app.P(name + ".html")), kOtherPage) << name;
        EXPECT_FALSE(Exists(app.P(name + ".htm"))) << name;
    }
    EXPECT_EQ(CountLines(ReadBytes(log)), 1);
}

} // namespace
