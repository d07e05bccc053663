// RunArchiver against the stand-in archiver (fakearc.exe beside this test)
// and against the real 7-Zip named by HALVOK_7ZA.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "app/Settings.h"
#include "tests/helpers/WinScratch.h"
#include "worker/Archiver.h"

namespace {

void SetArchiver(const std::string& exe, const std::string& cmd, int bHidden = 1) {
    strcpy(g_szArcExe, exe.c_str());
    strcpy(g_szArcCmd, cmd.c_str());
    g_bHidden = bHidden;
}

TEST(RunArchiver, AgainstTheStandIn) {
    ScratchDir dir("arc");
    const std::string log = dir / "fakearc.log", fake = ProgramDir() + "fakearc.exe";
    EnvVar logVar("HALVOK_FAKEARC_LOG", log);
    auto takeLog = [&] {
        std::string text = ReadBytes(log);
        DeleteFileA(log.c_str());
        return text;
    };
    const std::string page = dir / "page.htm";
    SetArchiver(fake, " fakearc");
    for (const auto& c : {std::pair<const char*, int>{"0", 0},
                          {"3", 3},
                          {"0xFFFFFFFD", -3},
                          {"0xFFFFFFFF", -1},
                          {"0xFFFFFFFE", -2}}) {
        EnvVar exitVar("HALVOK_FAKEARC_EXIT", c.first);
        EXPECT_EQ(c.second, RunArchiver(page.c_str())) << c.first;
    }
    takeLog();

    // The template filled as is; stem and folder cut at the path's last dot.
    const std::string sub = dir / "b.c";
    SetArchiver(fake, " x \"%s.7z\" \"%s\" \"%s\" 100%%");
    EXPECT_EQ(0, RunArchiver((sub + "\\page.htm").c_str()));
    EXPECT_EQ(" x \"" + sub + "\\page.7z\" \"" + sub + "\\page.htm\" \"" + sub +
                  "\\page_files\" 100% |show=0\r\n",
              takeLog());

    for (const auto& c : {std::pair<int, int>{1, SW_HIDE}, {0, SW_SHOWNORMAL}}) {
        SetArchiver(fake, " fakearc", c.first);
        EXPECT_EQ(0, RunArchiver(page.c_str()));
        EXPECT_EQ(" fakearc |show=" + std::to_string(c.second) + "\r\n", takeLog());
    }

    // An empty "Arc" must not let the template's first word be run; a
    // command line too long for its buffer is not run cut.
    for (const std::string& exe : {std::string(), dir / "missing.exe"}) {
        SetArchiver(exe, fake + " x %s");
        EXPECT_EQ(-1, RunArchiver(page.c_str())) << exe;
    }
    SetArchiver(fake, " x %s %s %s");
    EXPECT_EQ(-1, RunArchiver((dir / (std::string(1500, 'p') + ".htm")).c_str()));
    EXPECT_EQ("", takeLog());
}

TEST(RunArchiver, RealSevenZipArchivesThePageWithItsFolder) {
    const std::string sevenZa = Env("HALVOK_7ZA");
    ASSERT_TRUE(Exists(sevenZa)) << "HALVOK_7ZA must name a real 7za.exe";
    ScratchDir dir("7z");
    const std::string page = dir.File("news page.htm");
    dir.Folder("news page_files");
    dir.File("news page_files\\a.png", "PNG");
    SetArchiver(sevenZa, " 7za a \"%s.7z\" \"%s\" \"%s\"");
    ASSERT_EQ(0, RunArchiver(page.c_str()));
    DWORD nExit = 1;
    std::string list =
        RunAndCapture(sevenZa, " 7za l -slt \"" + dir / "news page.7z" + "\"", &nExit);
    EXPECT_EQ(0u, nExit);
    EXPECT_NE(std::string::npos, list.find("Path = news page.htm\r\n")) << list;
    EXPECT_NE(std::string::npos, list.find("Path = news page_files\\a.png\r\n")) << list;
    // Without its folder: 7-Zip's own code for a missing input.
    EXPECT_EQ(1, RunArchiver(dir.File("lone.htm").c_str()));
}

} // namespace
