// RunArchiver against the stand-in archiver (fakearc.exe beside this test)
// and against the real 7-Zip named by HALVOK_7ZA.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "app/Settings.h"
#include "tests/helpers/WinScratch.h"
#include "worker/Archiver.h"

namespace {

void SetArchiver(const std::string& exe, const std::string& cmd, int bHidden = 1) {
    ASSERT_LT(exe.size(), sizeof g_szArcExe);
    ASSERT_LT(cmd.size(), sizeof g_szArcCmd);
    strcpy(g_szArcExe, exe.c_str());
    strcpy(g_szArcCmd, cmd.c_str());
    g_bHidden = bHidden;
}

// Runs the stand-in archiver on pszPage, which records its command line in
// a log; returns the result and the logged line.
class FakeArc : public ::testing::Test {
  protected:
    std::string TakeLog() {
        std::string log = ReadBytes(m_log);
        DeleteFileA(m_log.c_str());
        return log;
    }

    ScratchDir m_dir{"arc"};
    std::string m_log = m_dir / "fakearc.log";
    EnvVar m_logVar{"HALVOK_FAKEARC_LOG", m_log};
    std::string m_fake = ProgramDir() + "fakearc.exe";
};

} // namespace

TEST_F(FakeArc, ExitCodeIsReadAsSigned32Bits) {
    SetArchiver(m_fake, " fakearc");
    const struct {
        const char* code;
        int expected;
    } cases[] = {{"0", 0},           {"3", 3},           {"0xFFFFFFFD", -3},
                 {"0xFFFFFFFF", -1}, {"0xFFFFFFFE", -2}, {"0xC0000005", -1073741819}};
    for (const auto& c : cases) {
        EnvVar exitVar("HALVOK_FAKEARC_EXIT", c.code);
        EXPECT_EQ(c.expected, RunArchiver((m_dir / "page.htm").c_str())) << c.code;
    }
}

TEST_F(FakeArc, CommandLineIsTheFilledTemplateAsIs) {
    const std::string dir = m_dir / "Новости b.c";
    const struct {
        std::string tmpl, page, expected;
    } cases[] = {
        {" x \"%s.7z\" \"%s\" \"%s\" 100%%", dir + "\\page.htm",
         " x \"" + dir + "\\page.7z\" \"" + dir + "\\page.htm\" \"" + dir + "\\page_files\" 100%"},
        {" ", dir + "\\page.htm", " "},
    };
    for (const auto& c : cases) {
        SetArchiver(m_fake, c.tmpl);
        EXPECT_EQ(0, RunArchiver(c.page.c_str()));
        EXPECT_EQ(c.expected + " |show=0\r\n", TakeLog()) << c.tmpl;
    }
}

TEST_F(FakeArc, WindowHiddenUnlessHiddenIsZero) {
    const int cases[][2] = {{1, SW_HIDE}, {2, SW_HIDE}, {0, SW_SHOWNORMAL}};
    for (const auto& c : cases) {
        SetArchiver(m_fake, " fakearc", c[0]);
        EXPECT_EQ(0, RunArchiver((m_dir / "page.htm").c_str()));
        EXPECT_EQ(" fakearc |show=" + std::to_string(c[1]) + "\r\n", TakeLog()) << c[0];
    }
}

TEST_F(FakeArc, NothingStartsWithoutARunnableArchiver) {
    ASSERT_TRUE(WriteBytes(m_dir / "text.exe", "not a program"));
    // An empty "Arc" must not let the first word of the template be run.
    const std::string exes[] = {"", m_dir / "missing.exe", m_dir / "text.exe", m_dir.Path()};
    for (const auto& exe : exes) {
        SetArchiver(exe, m_fake + " x %s");
        EXPECT_EQ(-1, RunArchiver((m_dir / "page.htm").c_str())) << exe;
    }
    // A command line too long for its buffer is not run cut.
    SetArchiver(m_fake, " x %s %s %s");
    EXPECT_EQ(-1, RunArchiver((m_dir.Path() + "\\" + std::string(1500, 'p') + ".htm").c_str()));
    EXPECT_EQ("", TakeLog());
}

TEST(RealArchiver, ArchivesThePageWithItsFolder) {
    const std::string sevenZa = Env("HALVOK_7ZA");
    ASSERT_FALSE(sevenZa.empty())
        << "HALVOK_7ZA is not set. It must hold the Windows path of a real 7za.exe "
           "(scripts/test sets it; scripts/fetch-7zip fetches one).";
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(sevenZa.c_str())) << sevenZa << " not found";

    ScratchDir dir("7z");
    const std::string page = dir / "news page.htm";
    ASSERT_TRUE(WriteBytes(page, "<img src=\"news page_files/a.png\">"));
    ASSERT_TRUE(CreateDirectoryA((dir / "news page_files").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(dir / "news page_files\\a.png", "PNG"));

    SetArchiver(sevenZa, " 7za a \"%s.7z\" \"%s\" \"%s\"");
    ASSERT_EQ(0, RunArchiver(page.c_str()));

    DWORD nExit = 0;
    std::string list = RunAndCapture(sevenZa, " 7za l -slt \"" + dir / "news page.7z" + "\"", &nExit);
    EXPECT_EQ(0u, nExit) << list;
    EXPECT_NE(std::string::npos, list.find("Path = news page.htm\r\n")) << list;
    EXPECT_NE(std::string::npos, list.find("Path = news page_files\\a.png\r\n")) << list;

    // Without its folder the page is still archived, and 7-Zip's own code
    // for a missing input (1, a warning) comes back.
    ScratchDir lone("7z-lone");
    ASSERT_TRUE(WriteBytes(lone / "lone.htm", "<p>"));
    EXPECT_EQ(1, RunArchiver((lone / "lone.htm").c_str()));
}
